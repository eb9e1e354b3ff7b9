// The version of this user interface: what getVerStr answers (the upgrade
// check compares it with the server's) and what the splash shows.
export const MOVIE_VERSION = '3.61';
