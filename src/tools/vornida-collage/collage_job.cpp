#include "tools/vornida-collage/collage_job.h"

#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "app/folders.h"
#include "engine/collage_run.h"
#include "base/text.h"
#include "headless/headless_host.h"
#include "host/messages.h"
#include "imaging/bitmap.h"
#include "output/atomic_file.h"
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

// What an interrupted run must not leave behind: the file the save writes
// (and any temporary file a writer made beside it, whose name contains that
// file's name) and the host's private folder.
struct Leftovers {
  std::mutex mutex;
  std::string outputTemporary;
  std::string runFolder;
};

Leftovers& CurrentLeftovers() {
  static Leftovers leftovers;
  return leftovers;
}

void RemoveLeftovers() {
  Leftovers& leftovers = CurrentLeftovers();
  std::lock_guard lock(leftovers.mutex);
  std::error_code ec;
  if (!leftovers.outputTemporary.empty()) {
    const fs::path temporary(leftovers.outputTemporary);
    const std::string name = temporary.filename().string();
    for (const auto& entry : fs::directory_iterator(temporary.parent_path(), ec))
      if (entry.path().filename().string().find(name) != std::string::npos) fs::remove(entry.path(), ec);
  }
  if (!leftovers.runFolder.empty()) fs::remove_all(leftovers.runFolder, ec);
}

// Ctrl-C, a hang-up or a kill ends the run at once but cleanly: the signals
// are blocked in every thread and taken by one waiting thread, which tidies
// up in ordinary thread context and ends the process with the usual status.
// Call before any other thread starts, so that all of them inherit the mask.
void CatchInterruptions(std::ostream& messages) {
  static std::once_flag once;
  std::call_once(once, [&messages] {
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

std::string ReadWholeFile(const std::string& path, bool& ok) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  ok = static_cast<bool>(file) || file.eof();
  if (!file.is_open()) ok = false;
  return bytes.str();
}

std::string Absolute(const std::string& path) {
  std::error_code ec;
  return fs::absolute(path, ec).lexically_normal().string();
}

// A private folder for the host's files, removed with everything in it.
class PrivateRunFolder {
 public:
  PrivateRunFolder() {
    const char* base = ::getenv("TMPDIR");
    std::string pattern = (base != nullptr && base[0] == '/' ? std::string(base) : std::string("/tmp")) +
                          "/vornida-collage-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) return;
    path_ = pattern;
    std::lock_guard lock(CurrentLeftovers().mutex);
    CurrentLeftovers().runFolder = path_;
  }
  ~PrivateRunFolder() {
    std::lock_guard lock(CurrentLeftovers().mutex);
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
    CurrentLeftovers().runFolder.clear();
  }
  PrivateRunFolder(const PrivateRunFolder&) = delete;
  PrivateRunFolder& operator=(const PrivateRunFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A name beside the output for the save to write; it becomes the output only
// once the save has produced a whole file. Removed if it is still there at
// the end.
class OutputSlot {
 public:
  ~OutputSlot() {
    std::lock_guard lock(CurrentLeftovers().mutex);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    CurrentLeftovers().outputTemporary.clear();
  }
  // Checks that a file can be made beside `output`; false with `error` set.
  bool Reserve(const std::string& output, std::string& error) {
    output_ = output;
    std::error_code ec;
    if (fs::is_directory(output, ec)) {
      error = output + ": is a folder";
      return false;
    }
    const fs::path target(output);
    const std::string folder = target.parent_path().string();
    const std::string ext = target.extension().string();
    std::string pattern = folder + "/." + target.stem().string() + ".vornida-XXXXXX" + ext;
    const int fd = ::mkstemps(pattern.data(), static_cast<int>(ext.size()));
    if (fd < 0) {
      error = output + ": cannot write there (" + std::strerror(errno) + ")";
      return false;
    }
    ::close(fd);
    // The save makes the file itself; an empty one left over would look like
    // a result.
    ::unlink(pattern.c_str());
    temporary_ = pattern;
    std::lock_guard lock(CurrentLeftovers().mutex);
    CurrentLeftovers().outputTemporary = temporary_;
    return true;
  }
  const std::string& temporary() const { return temporary_; }
  bool Written() const {
    std::error_code ec;
    return fs::is_regular_file(temporary_, ec) && fs::file_size(temporary_, ec) > 0;
  }
  bool Commit(std::string& error) {
    std::lock_guard lock(CurrentLeftovers().mutex);
    if (::rename(temporary_.c_str(), output_.c_str()) != 0) {
      error = output_ + ": cannot replace it (" + std::strerror(errno) + ")";
      return false;
    }
    temporary_.clear();
    CurrentLeftovers().outputTemporary.clear();
    return true;
  }

 private:
  std::string output_;
  std::string temporary_;
};

bool CheckPicture(const std::string& option, const std::string& path, std::string& error) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) {
    error = option + ": " + path + ": no such picture file";
    return false;
  }
  Picture picture = LoadPicturePlain(path);
  if (!picture || picture->width() < 1 || picture->height() < 1) {
    error = option + ": " + path + ": not a picture that can be read";
    return false;
  }
  return true;
}

bool CopyFileWhole(const std::string& from, const std::string& to) {
  bool ok = false;
  const std::string bytes = ReadWholeFile(from, ok);
  return ok && !bytes.empty() &&
         WriteFileAtomically(Absolute(to), [&bytes](AtomicFileWriter& w) { return w.write(bytes.data(), bytes.size()); });
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
        display_(messages_, line.quiet ? ProgressStyle::Quiet : environment.progress, environment.terminalColumns), observer_(display_),
        log_(observer_) {}

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
  bool Gather(std::string& error);
  bool Wait(HeadlessHost& host) { return host.Wait(std::chrono::duration_cast<std::chrono::milliseconds>(kWaitLimit)); }

  const CommandLine& line_;
  const JobEnvironment& env_;
  std::ostream& messages_;
  ProgressDisplay display_;
  RunObserver observer_;
  ObservedLog log_;
  CollageParameters params_;
  std::vector<std::string> photos_;
};

// Settings (project, parameter file, options, in that order of strength) and
// the list of photos.
bool Job::Gather(std::string& error) {
  if (!line_.projectFile.empty()) {
    bool ok = false;
    const std::string text = ReadWholeFile(line_.projectFile, ok);
    ProjectDocument project;
    if (!ok) {
      error = line_.projectFile + ": cannot read the project";
      return false;
    }
    if (!ReadProjectDocument(text, project)) {
      error = line_.projectFile + ": not a project file (not XML)";
      return false;
    }
    if (!project.collageParams.empty() && !params_.Merge(project.collageParams, error)) {
      error = line_.projectFile + ": unreadable settings: " + error;
      return false;
    }
    photos_ = project.photoPaths;
  }
  if (!line_.paramsFile.empty()) {
    bool ok = false;
    const std::string text = ReadWholeFile(line_.paramsFile, ok);
    std::string why;
    if (!ok) {
      error = line_.paramsFile + ": cannot read the collage parameters";
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

  const PhotoSearch search = FindPhotos(line.inputs);
  if (!search.error.empty()) {
    error = search.error;
    return false;
  }
  // An earlier result written into a photo folder is not a photo of the next run.
  std::set<std::string> seen(photos_.begin(), photos_.end());
  seen.insert(Absolute(line_.output));
  for (const std::string& photo : search.photos)
    if (seen.insert(photo).second) photos_.push_back(photo);
  if (photos_.empty()) {
    error = "no photos found in " + (line.inputs.empty() ? line_.projectFile : line.inputs.front()) +
            (line.inputs.size() > 1 ? " and the other places named" : "");
    return false;
  }
  return true;
}

int Job::Run() {
  std::string error;
  if (!Gather(error)) return Fail(error);

  OutputSlot slot;
  if (!slot.Reserve(Absolute(line_.output), error)) return Fail(error);

  PrivateRunFolder runFolder;
  if (runFolder.path().empty()) return Fail("cannot make a temporary folder");
  for (const char* sub : {"tmp", "data", "config"}) fs::create_directories(runFolder.path() + "/" + sub);
  ::setenv("TMPDIR", (runFolder.path() + "/tmp").c_str(), 1);
  ::setenv("XDG_DATA_HOME", (runFolder.path() + "/data").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (runFolder.path() + "/config").c_str(), 1);

  HeadlessOptions options;
  options.strings = MovieTexts();
  HeadlessHost host(log_, std::move(options));
  CVRFlashCtrl& control = host.Control();
  CollageRunner::Shared().SetSeed(line_.seed);

  if (line_.shape == ShapeKind::Text) {
    const std::vector<std::uint8_t> png = RenderTextShapePng(line_.shapeArgument, error);
    if (png.empty()) return Fail("--shape text: " + error);
    const auto answer = host.Request(Invoke("SetTextShape", {EncodeBase64(png.data(), png.size())}));
    const std::string path = answer ? ParseResponse(*answer) : std::string();
    if (path.empty()) return Fail("--shape text: the text picture could not be stored");
    params_.Set("shape", path);
  }

  // The photos, through the add-photos dialog as a user would pick them.
  if (!control.HasCommandHandler("OpenAddPhotosDlg")) return Unavailable("OpenAddPhotosDlg");
  host.PrepareFileDialog(photos_);
  host.Request(Invoke("OpenAddPhotosDlg", {}));
  if (!Wait(host)) return Fail("the import did not finish");
  RunFacts facts = observer_.Facts();
  const std::set<std::string> imported(facts.importedPaths.begin(), facts.importedPaths.end());
  if (imported.empty())
    return Fail(photos_.size() == 1 ? photos_.front() + ": not a picture that can be read"
                                    : "none of the " + std::to_string(photos_.size()) + " photos could be read");
  std::vector<std::string> usable;
  for (const std::string& photo : photos_) {
    if (imported.contains(photo))
      usable.push_back(photo);
    else
      Note("skipped " + photo + ": not a picture that can be read");
  }

  const std::string params = params_.Compose();
  if (!control.HasCommandHandler("MakeShape")) return Unavailable("MakeShape");
  // As the movie does before its first layout: the area the preview may
  // fill, which sets the preview's size.
  host.Request("<invoke name=\"UpdateVornidaCanvasPos\" returntype=\"xml\"><arguments><number>0</number>"
               "<number>0</number><number>" + std::to_string(kPreviewWidth) + "</number><number>" +
               std::to_string(kPreviewHeight) + "</number></arguments></invoke>");
  host.Request(Invoke("MakeShape", {params}));
  if (!Wait(host)) return Fail("the layout did not finish");
  facts = observer_.Facts();
  if (!facts.layoutMade) return Fail("the collage could not be laid out with these settings");

  if (!control.HasCommandHandler("SaveShape")) return Unavailable("SaveShape");
  const int savesBefore = facts.savingEnded;
  host.PrepareFileDialog(std::vector<std::string>{slot.temporary()});
  const auto answer = host.Request(Invoke("SaveShape", {params, line_.format == OutputFormat::Psd ? "1" : "0"}));
  if (!answer || ParseResponse(*answer) != "1") return Fail(line_.output + ": the save did not start");
  if (!Wait(host)) return Fail(line_.output + ": the save did not finish");
  facts = observer_.Facts();
  if (facts.savingEnded <= savesBefore || !slot.Written()) return Fail(line_.output + ": the collage could not be written");
  if (!slot.Commit(error)) return Fail(error);
  display_.Finish();

  if (!line_.preview.empty() && (facts.previewPath.empty() || !CopyFileWhole(facts.previewPath, line_.preview)))
    return Fail(line_.preview + ": the preview could not be written");
  if (!line_.saveProject.empty()) {
    ProjectDocument project;
    project.collageParams = params;
    project.photoPaths = usable;
    if (!WriteProjectFile(line_.saveProject, ComposeProjectDocument(project)))
      return Fail(line_.saveProject + ": the project could not be written");
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
