// The program's folders: where its installed assets, its temporary files, its
// data and its per-user settings live.
//
//   module folder    the folder of the running executable (/proc/self/exe).
//   program folder   the installed assets: the movies (movie/), the program's
//                    pictures ("TBgBrush.png", the wizard header) and the demo
//                    photos. Installed, an executable in <prefix>/bin finds
//                    them in <prefix>/share/vornida; in the build tree the
//                    build puts a copy beside each executable that needs one,
//                    recognised by its "TBgBrush.png".
//   temporary folder a per-user private base under the system temporary path:
//                    ${TMPDIR:-/tmp}/vornida-<uid>/ (mode 0700, owned by the
//                    user). A fixed shared name in /tmp could be pre-created
//                    or replaced by a symlink by another user, so the base is
//                    checked on every use; if it cannot be made safe, a fresh
//                    mkdtemp() folder ${TMPDIR:-/tmp}/vornida-<uid>-XXXXXX is
//                    used for the rest of the run instead.
//   ThumbnailFolder  MakeTempPath("Vornida"): thumbnails, the preview picture
//                    and the text-shape picture; its files are deleted at exit.
//   AppDataFolder    ${XDG_DATA_HOME:-~/.local/share}/Vornida: Setting.ini and
//                    the upgrade files.
//   config folder    ${XDG_CONFIG_HOME:-~/.config}: the per-user settings
//                    store of registry.h keeps its file below it.
//
// The XDG variables and TMPDIR are used only when they hold an absolute path.
// Every function here is safe to call from any thread.
#pragma once

#include <string>
#include <string_view>

namespace vornida {

// The folder of the running program file, without a trailing '/'. Computed on
// first use and kept for the rest of the run; empty if it cannot be found.
std::string GetModuleFolder();

// The program folder (see above), without a trailing '/'. Computed on first
// use from the executable's own location, never from the current folder, and
// kept for the rest of the run; it may name a folder that does not exist (an
// incomplete installation), which FindProgramFile reports. Empty only when
// the executable's location is unknown.
std::string GetProgramFolder();

// Where a file or folder of the program folder is, or why it cannot be used.
struct ProgramFile {
  std::string path;   // GetProgramFolder() + "/" + relative; empty when missing
  std::string error;  // for the user, naming the folder looked in; empty when found
  explicit operator bool() const { return !path.empty(); }
};

// Looks up `relative` ("demo-photos", "movie/main.html") in the program folder.
ProgramFile FindProgramFile(std::string_view relative);

// The system temporary path ($TMPDIR when absolute, else /tmp), ending with '/'.
std::string GetSystemTempPath();

// The program's private temporary base (see above), ending with '/'. Creates
// and checks it; empty only when no private folder could be made at all.
std::string GetTempFolder();

// `path` when IsAbsolutePath(path), else GetTempFolder() + "/" + path (so the
// result has two slashes at the join, which the file system ignores).
std::string MakeTempPath(std::string_view path);

// Creates (mode 0700) or accepts a folder that only the current user can
// reach. Refuses (FALSE) when the entry is a symbolic link, is not a folder,
// is owned by another user, or cannot be created. An existing folder of ours
// that others may read or enter is tightened to 0700. Missing parent folders
// are not created.
bool MakePrivateFolder(std::string_view folder);

// Sets ThumbnailFolder to MakeTempPath(name), creates it private to the user
// (MakePrivateFolder) and returns it; empty when the folder was refused (then
// ThumbnailFolder stays empty). Start-up passes "Vornida".
std::string InitThumbnailFolder(std::string_view name);

// The folder set by InitThumbnailFolder; empty before.
std::string GetThumbnailFolder();

// Sets AppDataFolder to ${XDG_DATA_HOME:-~/.local/share} + "/" + name, creates
// it with every missing parent and returns it. Start-up passes "Vornida".
std::string InitAppDataFolder(std::string_view name);

// The folder set by InitAppDataFolder; empty before.
std::string GetAppDataFolder();

// AppDataFolder + "/" + relative; `relative` is not tested for being absolute.
std::string MakeAppDataPath(std::string_view relative);

// `path` when IsAbsolutePath(path), else base + "/" + path, where an empty
// `base` means GetProgramFolder().
std::string MakeAbsolutePath(std::string_view path, std::string_view base = {});

// ${XDG_CONFIG_HOME:-~/.config}, without a trailing '/'. Not created here.
std::string GetConfigFolder();

}  // namespace vornida
