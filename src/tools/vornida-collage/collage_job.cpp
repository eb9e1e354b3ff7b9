#include "tools/vornida-collage/collage_job.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "app/folders.h"
#include "base/files.h"
#include "base/text.h"
#include "engine/collage.h"
#include "engine/collage_params.h"
#include "engine/collage_run.h"
#include "headless/headless_host.h"
#include "host/messages.h"
#include "imaging/bitmap.h"
#include "imaging/decoder_warnings.h"
#include "output/atomic_file.h"
#include "output/output_checks.h"
#include "photos/photo_library.h"
#include "project/project_document.h"
#include "photos/photo_search.h"
#include "tools/vornida-collage/text_shape_picture.h"
#include "xml/xml_doc.h"

namespace vornida::collage_cli {
namespace fs = std::filesystem;

namespace {

// The largest preview picture (--preview).
constexpr int kPreviewWidth = 1024;
constexpr int kPreviewHeight = 768;

// Long enough for thousands of large photos; the run itself never hangs.
constexpr auto kWaitLimit = std::chrono::hours(24);

// English texts for the keys the native side asks the movie for.
std::map<std::string, std::string> MovieTexts() {
  return {
      {"Loading_Photo", "Loading photo"},
      {"Photo_Damaged", "Damaged, only partly read"},
      {"Photo_Missing", "Not found, skipped"},
      {"Photo_Not_A_File", "Not a picture file, skipped"},
      {"Photo_Too_Large", "Too large to read, skipped"},
      {"Calculating_photo_sizes", "Calculating photo sizes"},
      {"Calc_photos_size", "Measuring photos"},
      {"Creating_the_layout", "Creating the layout"},
      {"Parpare_Layout_Images", "Preparing the photos"},
      {"Calc_Items_Position", "Arranging the photos"},
      {"Dimensions", "Dimensions"},
      {"Photos", "Photos"},
      {"Done", "Done"},
      {"Saving_the_collage", "Saving the collage"},
      {"Save_Shape", "Save collage"},
      {"File", " file "},
      {"AllFiles", "All files"},
      {"None_of_the_photos_could_be_read", "None of the photos could be read."},
      {"Big_collage_message", "This collage is very large."},
      {"Error", "Error"},
      {"Warning", "Warning"},
      {"OK", "OK"},
      {"Yes", "Yes"},
      {"No", "No"},
      {"App_Project_File", "Project"},
      {"Project_Save", "Save project"},
      {"Project_SaveAs", "Save project as"},
      {"Project_Open", "Open project"},
  };
}

std::string MovieText(const std::string& key) {
  static const std::map<std::string, std::string> texts = MovieTexts();
  const auto text = texts.find(key);
  return text != texts.end() ? text->second : std::string();
}

// What an interrupted run must not leave behind: the host's private folder
// and the temporary file of a save in progress.
struct Leftovers {
  std::mutex mutex;
  std::string runFolder;
};

Leftovers& CurrentLeftovers() {
  static Leftovers leftovers;
  return leftovers;
}

void RemoveLeftovers() {
  Leftovers& leftovers = CurrentLeftovers();
  std::lock_guard lock(leftovers.mutex);
  RemoveUnfinishedTemporaryFiles();
  std::error_code ec;
  if (!leftovers.runFolder.empty()) fs::remove_all(leftovers.runFolder, ec);
}

// Ctrl-C, a hang-up or a kill ends the run at once but cleanly: the signals
// are blocked in every thread and taken by one waiting thread, which tidies
// up in ordinary thread context and ends the process with the usual status.
// Call before any other thread starts, so that all of them inherit the mask.
void CatchInterruptions(std::ostream& messages) {
  static std::once_flag once;
  std::call_once(once, [&messages] {
    // Whatever else goes wrong, the private folder does not stay behind.
    std::set_terminate([] {
      RemoveLeftovers();
      std::abort();
    });
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, signal);
    if (pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0) return;
    std::thread([signals, &messages] {
      int signal = 0;
      if (sigwait(&signals, &signal) != 0) return;
      RemoveLeftovers();
      messages << "\nvornida-collage: interrupted; nothing was written" << std::endl;
      ::_exit(128 + signal);
    }).detach();
  });
}

std::string Absolute(const std::string& path) {
  std::error_code ec;
  return fs::absolute(path, ec).lexically_normal().string();
}

// A private folder for the host's files, removed with everything in it.
// A run holds a lock on the file ".run" inside it; a folder whose lock
// nobody holds belongs to a run that was killed (kill -9, a crash) and is
// removed by the next run, so none stays behind for good.
class PrivateRunFolder {
 public:
  PrivateRunFolder() {
    const char* base = ::getenv("TMPDIR");
    const std::string parent = base != nullptr && base[0] == '/' ? std::string(base) : std::string("/tmp");
    RemoveAbandoned(parent);
    std::string pattern = parent + "/" + std::string(kPrefix) + "XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) return;
    path_ = pattern;
    lock_ = ::open((path_ + "/.run").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock_ >= 0) ::flock(lock_, LOCK_EX | LOCK_NB);
    std::lock_guard lock(CurrentLeftovers().mutex);
    CurrentLeftovers().runFolder = path_;
  }
  ~PrivateRunFolder() {
    std::lock_guard lock(CurrentLeftovers().mutex);
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
    if (lock_ >= 0) ::close(lock_);
    CurrentLeftovers().runFolder.clear();
  }
  PrivateRunFolder(const PrivateRunFolder&) = delete;
  PrivateRunFolder& operator=(const PrivateRunFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  static constexpr std::string_view kPrefix = "vornida-collage-";

  static void RemoveAbandoned(const std::string& parent) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(parent, ec)) {
      const std::string name = entry.path().filename().string();
      struct stat info {};
      if (!name.starts_with(kPrefix) || name.size() != kPrefix.size() + 6 ||
          ::lstat(entry.path().c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid())
        continue;
      const int fd = ::open((entry.path().string() + "/.run").c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
      if (fd < 0) continue;  // not a folder of ours, or one still being set up
      if (::flock(fd, LOCK_EX | LOCK_NB) == 0) fs::remove_all(entry.path(), ec);
      ::close(fd);
    }
  }

  std::string path_;
  int lock_ = -1;
};

bool CheckPicture(const std::string& option, const std::string& path, std::string& error) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) {
    error = option + ": " + path + ": no such picture file";
    return false;
  }
  // Read through, but kept small: a file declaring a huge size costs no memory.
  const SizedLoad probe = LoadPictureSized(path, [](PictureSize full) {
    return PictureSize{std::min<std::int64_t>(full.width, 64), std::min<std::int64_t>(full.height, 64)};
  });
  if (!probe.picture || probe.picture->empty()) {
    error = option + ": " + path + ": not a picture that can be read";
    return false;
  }
  return true;
}

Status CopyFileWhole(const std::string& from, const std::string& to) {
  std::string bytes;
  if (Status read = ReadFileBytes(from, bytes); !read) return read;
  return WriteFileAtomically(Absolute(to), [&bytes](AtomicFileWriter& w) { return w.write(bytes.data(), bytes.size()); });
}

// Why a photo the import skipped could not be used: the system's reason when
// the file cannot even be opened, else that it is no picture we can read.
std::string WhyUnreadable(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return SystemErrorText(errno);
  ::close(fd);
  return "not a picture that can be read";
}

// Why a photo was not imported, as the import found it.
std::string SkipReason(const std::string& path) {
  switch (ImportTroubleOf(path)) {
    case ImportTrouble::Missing: return "the file does not exist";
    case ImportTrouble::NotAFile: return "not a regular file";
    case ImportTrouble::TooLarge: return "too large to read";
    default: return WhyUnreadable(path);
  }
}

// The canvas a parameter text asks for, as the engine would limit it; nullopt
// when the text leaves the size to the layout (an aspect ratio alone).
std::optional<SizeI> RequestedCanvas(const std::string& parameterText) {
  CCollage collage;
  if (!ReadCollageParams(parameterText, collage, std::string()) || collage.canvasWidth < 1 ||
      collage.canvasHeight < 1)
    return std::nullopt;
  SizeI size{collage.canvasWidth, collage.canvasHeight};
  LimitCanvas(size, CCollage::kMaxCanvasPixels);
  return size;
}

std::string Invoke(const std::string& name, const std::vector<std::string>& stringArgs) {
  std::string values;
  for (const std::string& arg : stringArgs) values += StringValue(XmlEscape(arg));
  return "<invoke name=\"" + name + "\" returntype=\"xml\"><arguments>" + values + "</arguments></invoke>";
}

class Job {
 public:
  Job(const CommandLine& line, const JobEnvironment& environment)
      : line_(line), env_(environment), messages_(*environment.messages),
        display_(messages_, line.quiet ? ProgressStyle::Quiet : environment.progress, environment.terminalColumns),
        observer_(display_) {}

  int Run();

 private:
  int Fail(const std::string& message) {
    display_.Finish();
    messages_ << "vornida-collage: " << message << std::endl;
    return kExitFailed;
  }
  int Unavailable(const std::string& command) {
    return Fail("this build cannot make collages: the command " + command + " is not available");
  }
  void Note(const std::string& message) {
    if (line_.quiet) return;
    display_.Finish();
    messages_ << "vornida-collage: " << message << std::endl;
  }
  // One line for each file whose decoding drew a library warning, in our
  // words; the library's own text is never shown.
  void NoteDecoderWarnings() {
    for (const std::string& file : TakeFilesWithDecoderWarnings())
      if (decoderWarned_.insert(file).second)
        Note(file + ": the picture holds data that its decoder skipped; the rest was read");
  }
  bool Gather(std::string& error);
  bool CheckSettingsShape(const CommandLine& line, std::string& error) const;
  bool CheckOutput(std::string& error) const;
  bool Wait(HeadlessHost& host) { return host.Wait(std::chrono::duration_cast<std::chrono::milliseconds>(kWaitLimit)); }

  const CommandLine& line_;
  const JobEnvironment& env_;
  std::ostream& messages_;
  ProgressDisplay display_;
  JobObserver observer_;
  CollageParameters params_;
  std::vector<std::string> photos_;
  std::set<std::string> decoderWarned_;
};

// The shape picture the settings name must be there, unless it is a text
// shape that is drawn again from its text. Options were checked already;
// this is about a project or parameter file.
bool Job::CheckSettingsShape(const CommandLine& line, std::string& error) const {
  if (line.shape) return true;
  const std::string type = params_.Get("shapeType");
  if (type != "Image" && type != "Text") return true;
  if (type == "Text" && !params_.Get("shapeText").empty()) return true;
  const std::string from = !line_.paramsFile.empty() ? line_.paramsFile : line_.projectFile;
  const std::string picture = params_.Get("shape");
  std::error_code ec;
  if (picture.empty() || !fs::is_regular_file(picture, ec)) {
    error = from + ": the shape picture " + (picture.empty() ? std::string("(none named)") : picture) + " is missing";
    if (type == "Text") error += ", and the settings do not keep the shape's text";
    return false;
  }
  return true;
}

// Settings (project, parameter file, options, in that order of strength) and
// the list of photos.
bool Job::Gather(std::string& error) {
  if (!line_.projectFile.empty()) {
    std::string text;
    ProjectDocument project;
    if (Status read = ReadFileBytes(line_.projectFile, text); !read) {
      error = line_.projectFile + ": cannot read the project: " + read.reason();
      return false;
    }
    // Photos named relative to the project are beside it, not in whatever
    // folder the program was started from.
    if (!ReadProjectDocument(text, project, fs::path(Absolute(line_.projectFile)).parent_path().string())) {
      error = line_.projectFile + ": not a project file (not XML)";
      return false;
    }
    if (IsNewerProjectVersion(project.version))
      Note("warning: " + line_.projectFile + " was saved by a newer version of Vornida (project version " +
           std::to_string(project.version) + "); it is read as far as this version understands it");
    if (!project.collageParams.empty() && !params_.Merge(project.collageParams, error)) {
      error = line_.projectFile + ": unreadable settings: " + error;
      return false;
    }
    photos_ = project.photoPaths;
  }
  if (!line_.paramsFile.empty()) {
    std::string text;
    std::string why;
    if (Status read = ReadFileBytes(line_.paramsFile, text); !read) {
      error = line_.paramsFile + ": cannot read the collage parameters: " + read.reason();
      return false;
    }
    if (!params_.Merge(text, why)) {
      error = line_.paramsFile + ": not a collage-parameter text (" + why + ")";
      return false;
    }
  }

  CommandLine line = line_;
  if (line.demo) {
    if (!line.shape) line.shape = ShapeKind::Circle;
    if (!line.count) line.count = 48;
    if (!env_.demoPhotos) {
      error = "--demo: the sample photos are missing (" + env_.demoPhotos.error + ")";
      return false;
    }
    line.inputs = {env_.demoPhotos.path};
  }
  if (line.shape == ShapeKind::Image) {
    line.shapeArgument = Absolute(line.shapeArgument);
    if (!CheckPicture("--shape", line.shapeArgument, error)) return false;
  }
  if (line.background == BackgroundKind::Image) {
    line.backgroundArgument = Absolute(line.backgroundArgument);
    if (!CheckPicture("--background", line.backgroundArgument, error)) return false;
  }
  ApplyToParameters(line, params_);
  // --seed wins over a seed kept by a project or parameter file.
  if (line_.seed) params_.Set("seed", std::to_string(*line_.seed));
  if (!CheckSettingsShape(line, error)) return false;

  const PhotoSearch search = FindPhotos(line.inputs);
  if (!search.error.empty()) {
    error = search.error;
    return false;
  }
  std::set<std::string> seen(photos_.begin(), photos_.end());
  for (const std::string& photo : search.photos)
    if (seen.insert(photo).second) photos_.push_back(photo);
  if (photos_.empty()) {
    error = "no photos found in " + (line.inputs.empty() ? line_.projectFile : line.inputs.front()) +
            (line.inputs.size() > 1 ? " and the other places named" : "");
    return false;
  }
  return true;
}

// What would make the save fail, found before any work: an output that is
// one of the collage's own pictures, a canvas too large for the format, a
// folder that cannot take the file.
bool Job::CheckOutput(std::string& error) const {
  const std::string output = Absolute(line_.output);
  std::vector<std::string> inputs = photos_;
  for (const char* name : {"shape", "backgroundFile"})
    if (std::string file = params_.Get(name); !file.empty()) inputs.push_back(file);
  if (const std::string input = InputAtOutput(output, inputs); !input.empty()) {
    error = line_.output + ": this is " + (input == output ? std::string("one of the photos") : "the picture " + input) +
            "; it would be overwritten, choose another output file";
    return false;
  }
  // The canvas when the settings give it, the layers when the item count is
  // known (a layer per item and one for an opaque or picture background).
  const bool layered = line_.format == OutputFormat::Psd;
  const int32_t items = ParseMovieInt(params_.Get("numPhotos"));
  int64_t layers = items > 0 ? items : items == -1 ? static_cast<int64_t>(photos_.size()) : -1;
  if (layers > 0 && (params_.Get("backgroundType") == "Image" || params_.Get("backgroundTransparent") != "true"))
    ++layers;
  const std::optional<SizeI> canvas = RequestedCanvas(params_.Compose());
  Status fits = CheckOutputLimits(output, layered, canvas ? canvas->w : 1, canvas ? canvas->h : 1, layers, MovieText);
  if (!fits) {
    error = line_.output + ": " + fits.reason();
    return false;
  }
  // The folder takes a file (the probe is dropped at once).
  AtomicFileWriter probe;
  if (Status writable = probe.create(output); !writable) {
    error = line_.output + ": cannot write there (" + writable.reason() + ")";
    return false;
  }
  probe.abandon();
  return true;
}

int Job::Run() {
  std::string error;
  if (!Gather(error)) return Fail(error);
  if (!CheckOutput(error)) return Fail(error);

  PrivateRunFolder runFolder;
  if (runFolder.path().empty()) return Fail("cannot make a temporary folder");
  for (const char* sub : {"tmp", "data", "config"}) fs::create_directories(runFolder.path() + "/" + sub);
  ::setenv("TMPDIR", (runFolder.path() + "/tmp").c_str(), 1);
  ::setenv("XDG_DATA_HOME", (runFolder.path() + "/data").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (runFolder.path() + "/config").c_str(), 1);

  HeadlessOptions options;
  options.strings = MovieTexts();
  HeadlessHost host(std::move(options));
  // The observer outlives the host, which may still report while it stops.
  host.AddObserver(observer_);
  CVRFlashCtrl& control = host.Control();
  CollageRunner::Shared().SetSeed(line_.seed);
  // Nobody watches the canvas of a command-line run.
  CollageRunner::Shared().SetCanvasWatched(false);

  // A text shape is drawn from its text, whether the option or a project
  // gave it; the movie would do the same and hand the picture over.
  if (params_.Get("shapeType") == "Text" && !params_.Get("shapeText").empty()) {
    const std::string where = line_.shape == ShapeKind::Text ? std::string("--shape text")
                              : line_.paramsFile.empty()     ? line_.projectFile
                                                             : line_.paramsFile;
    const std::vector<std::uint8_t> png = RenderTextShapePng(params_.Get("shapeText"), error, params_.Get("shapeFont"));
    if (png.empty()) return Fail(where + ": " + error);
    const auto answer = host.Request(Invoke("SetTextShape", {EncodeBase64(png.data(), png.size())}));
    const std::string path = answer ? ParseResponse(*answer) : std::string();
    if (path.empty()) return Fail(where + ": the text picture could not be stored");
    params_.Set("shape", path);
  }

  // Every setting is checked before any photo is touched: a value out of
  // range or a shape with nothing to fill is told at once.
  const std::string params = params_.Compose();
  {
    CCollage check;
    if (const ParamReadResult read = ReadCollageParams(params, check, GetProgramFolder()); !read)
      return Fail(FillEngineText(read.problem, nullptr));
  }

  // The photos, through the add-photos dialog as a user would pick them.
  if (!control.HasCommandHandler("OpenAddPhotosDlg")) return Unavailable("OpenAddPhotosDlg");
  // The import takes the chosen files last first: chosen in reverse, the
  // photo list is in the order given (a project's order, for one).
  host.PrepareFileDialog(std::vector<std::string>(photos_.rbegin(), photos_.rend()));
  host.Request(Invoke("OpenAddPhotosDlg", {}));
  if (!Wait(host)) return Fail("the import did not finish");
  NoteDecoderWarnings();
  RunFacts facts = observer_.Facts();
  const std::set<std::string> imported(facts.importedPaths.begin(), facts.importedPaths.end());
  if (imported.empty())
    return Fail(photos_.size() == 1 ? photos_.front() + ": " + SkipReason(photos_.front())
                                    : "none of the " + std::to_string(photos_.size()) + " photos could be read");
  std::vector<std::string> usable;
  for (const std::string& photo : photos_) {
    const ImportTrouble trouble = ImportTroubleOf(photo);
    if (imported.contains(photo)) {
      usable.push_back(photo);
      if (trouble == ImportTrouble::Damaged) Note(photo + ": the file is damaged; only the part that could be read is used");
    } else {
      Note("skipped " + photo + ": " + SkipReason(photo));
    }
  }

  if (!control.HasCommandHandler("MakeShape")) return Unavailable("MakeShape");
  // As the movie does before its first layout: the area the preview may
  // fill, which sets the preview's size.
  host.Request("<invoke name=\"UpdateVornidaCanvasPos\" returntype=\"xml\"><arguments><number>0</number>"
               "<number>0</number><number>" + std::to_string(kPreviewWidth) + "</number><number>" +
               std::to_string(kPreviewHeight) + "</number></arguments></invoke>");
  host.Request(Invoke("MakeShape", {params}));
  if (!Wait(host)) return Fail("the layout did not finish");
  facts = observer_.Facts();
  const std::shared_ptr<CCollage> laidOut = CollageRunner::Shared().CurrentCollage();
  if (!facts.layoutMade) {
    if (laidOut && !laidOut->problem.empty()) return Fail(laidOut->ProblemText());
    return Fail("the collage could not be laid out with these settings");
  }
  if (laidOut)
    for (const EngineText& note : laidOut->notes) Note(laidOut->NoteText(note));

  if (!control.HasCommandHandler("SaveShape")) return Unavailable("SaveShape");
  // The save writes the output itself, whole or not at all.
  const int savesBefore = facts.savesFinished;
  host.PrepareFileDialog(std::vector<std::string>{Absolute(line_.output)});
  const auto answer = host.Request(Invoke("SaveShape", {params, line_.format == OutputFormat::Psd ? "1" : "0"}));
  const bool started = answer && ParseResponse(*answer) == "1";
  if (started && !Wait(host)) return Fail(line_.output + ": the save did not finish");
  facts = observer_.Facts();
  if (facts.savesFinished <= savesBefore || !facts.lastSave)
    return Fail(line_.output + (started ? ": the save did not finish" : ": the save did not start"));
  if (facts.lastSave->outcome != SaveOutcome::Saved)
    return Fail(line_.output + ": the collage could not be written: " + facts.lastSave->status.reason());
  display_.Finish();
  NoteDecoderWarnings();

  if (!line_.preview.empty()) {
    if (facts.previewPath.empty()) return Fail(line_.preview + ": the layout made no preview");
    if (Status copied = CopyFileWhole(facts.previewPath, line_.preview); !copied)
      return Fail(line_.preview + ": the preview could not be written: " + copied.reason());
  }
  if (!line_.saveProject.empty()) {
    // The project keeps this layout's seed, so that it opens as it is.
    CollageParameters kept = params_;
    if (laidOut) kept.Set("seed", std::to_string(laidOut->seed));
    ProjectDocument project;
    project.collageParams = kept.Compose();
    project.photoPaths = usable;
    if (Status written = WriteProjectFile(line_.saveProject, ComposeProjectDocument(project)); !written)
      return Fail(line_.saveProject + ": the project could not be written: " + written.reason());
  }
  Note("wrote " + line_.output + (facts.infoText.empty() ? std::string() : " (" + facts.infoText + ")"));
  return kExitDone;
}

}  // namespace

std::string EncodeBase64(const void* data, std::size_t size) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::string text;
  text.reserve((size + 2) / 3 * 4);
  for (std::size_t i = 0; i < size; i += 3) {
    const std::uint32_t chunk = (bytes[i] << 16) | (i + 1 < size ? bytes[i + 1] << 8 : 0) | (i + 2 < size ? bytes[i + 2] : 0);
    text += kAlphabet[(chunk >> 18) & 63];
    text += kAlphabet[(chunk >> 12) & 63];
    text += i + 1 < size ? kAlphabet[(chunk >> 6) & 63] : '=';
    text += i + 2 < size ? kAlphabet[chunk & 63] : '=';
  }
  return text;
}

int RunCollageJob(const CommandLine& line, const JobEnvironment& environment) {
  CatchInterruptions(*environment.messages);
  Job job(line, environment);
  return job.Run();
}

}  // namespace vornida::collage_cli
