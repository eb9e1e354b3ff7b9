// The splash screen: shows the version and, when the host names a language,
// its texts. It calls nothing on the native side.
import { loadStrings, requestedLanguage, translateTree, t } from './strings.js';
import { MOVIE_VERSION } from './version.js';

async function start() {
  await loadStrings(requestedLanguage());
  translateTree(document);
  document.getElementById('splash-version').textContent = t('ui.splash.version', { version: MOVIE_VERSION });
}

document.getElementById('splash-version').textContent = `${MOVIE_VERSION}`;
start();
