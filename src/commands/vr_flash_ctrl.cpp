#include "commands/vr_flash_ctrl.h"

#include <array>

#include "app/folders.h"
#include "app/registry.h"
#include "base/text.h"
#include "host/movie_calls.h"
#include "platform/system_codes.h"

namespace vornida {

// One row of the command table. Commands carried out here have `run`; the
// others are pluggable and go to the handler a module installed.
struct CVRFlashCtrl::Command {
  std::string_view name;
  std::size_t argCount;
  bool (*run)(CVRFlashCtrl& control, DecodedCall& call);
};

namespace {

constexpr auto kPluggable = nullptr;

}  // namespace

// In the order the movie's names are tested.
const CVRFlashCtrl::Command* CVRFlashCtrl::FindCommand(std::string_view name) {
  static const std::array<Command, 26> kCommands{{
      {"LoadComplete", 0,
       [](CVRFlashCtrl& c, DecodedCall&) {
         c.OnMovieLoaded();
         return true;
       }},
      {"NewProject", 0,
       [](CVRFlashCtrl& c, DecodedCall&) {
         c.currentProjectPath_.clear();
         return true;
       }},
      {"UpdateVornidaCanvasPos", 4, [](CVRFlashCtrl& c, DecodedCall& call) { return c.UpdateCanvasPos(call); }},
      {"MakeShape", 1, kPluggable},
      {"SaveShape", 2, kPluggable},
      {"SaveProject", 2, kPluggable},
      {"OpenProject", 0, kPluggable},
      {"OpenHomeSite", 1,
       [](CVRFlashCtrl& c, DecodedCall& call) {
         if (c.Services().shell != nullptr) c.Services().shell->execute("open", call.args[0], "", platform::kShowShow);
         return true;
       }},
      {"BrowseBackgroundFile", 0,
       [](CVRFlashCtrl& c, DecodedCall&) { return c.BrowsePicture(kRecentBackgroundPhoto, "setBackgroundFile"); }},
      {"BrowseCustomShape", 0,
       [](CVRFlashCtrl& c, DecodedCall&) { return c.BrowsePicture(kRecentCustomShape, "setCustomShape"); }},
      {"OpenAddPhotosDlg", 0, kPluggable},
      {"CheckUpdate", 0, kPluggable},
      {"Exit", 0,
       [](CVRFlashCtrl& c, DecodedCall&) {
         if (c.OwnerFrame() != nullptr) c.OwnerFrame()->postSysCommand(platform::kScClose);
         return true;
       }},
      {"HideVCCanvas", 0,
       [](CVRFlashCtrl& c, DecodedCall&) {
         platform::CanvasWindow* canvas = c.Canvas() != nullptr ? c.Canvas()->Canvas() : nullptr;
         if (canvas != nullptr && canvas->exists()) canvas->hide();
         return true;
       }},
      {"SetTextShape", 1, [](CVRFlashCtrl& c, DecodedCall& call) { return c.SetTextShape(call); }},
      {"RemovePhoto", 1, kPluggable},
      {"SwapPhotos", 2, kPluggable},
      {"NewLayout", 1, kPluggable},
      {"UndoLayout", 0, kPluggable},
      {"RedoLayout", 0, kPluggable},
      {"ClearLayoutHistory", 0, kPluggable},
      {"ReadReg", 1, [](CVRFlashCtrl& c, DecodedCall& call) { return c.ReadSetting(call, true); }},
      {"WriteReg", 2, [](CVRFlashCtrl& c, DecodedCall& call) { return c.WriteSetting(call, true); }},
      {"ReadIni", 1, [](CVRFlashCtrl& c, DecodedCall& call) { return c.ReadSetting(call, false); }},
      {"WriteIni", 2, [](CVRFlashCtrl& c, DecodedCall& call) { return c.WriteSetting(call, false); }},
      {"GetVerText", 0,
       [](CVRFlashCtrl& c, DecodedCall& call) {
         call.result = StringValue(c.versionText_);
         return true;
       }},
  }};
  for (const Command& command : kCommands)
    if (command.name == name) return &command;
  return nullptr;
}

CVRFlashCtrl::CVRFlashCtrl(platform::MovieTransport& transport, const platform::Services& services)
    : CAppFlashCtrlBase(transport, services),
      settings_(MakeAppDataPath(kSettingsFileName), std::string(kSettingsDefaultSection)),
      versionText_(kVersionText) {
  SetMainMovieCtrl(this);
}

CVRFlashCtrl::~CVRFlashCtrl() { ClearMainMovieCtrl(this); }

bool CVRFlashCtrl::DispatchCall(DecodedCall& call) {
  const Command* command = FindCommand(call.name);
  if (command == nullptr) return CAppFlashCtrlBase::DispatchCall(call);
  if (!CheckArgCount(call, command->argCount)) return false;
  if (command->run != nullptr) return command->run(*this, call);
  auto handler = handlers_.find(call.name);
  if (handler == handlers_.end()) return false;
  // A copy, so that a handler may replace itself while it runs.
  MovieCommandHandler run = handler->second;
  return run(*this, call);
}

void CVRFlashCtrl::OnMovieLoaded() {
  auto handler = handlers_.find(std::string_view("LoadComplete"));
  if (handler == handlers_.end()) return;
  MovieCommandHandler run = handler->second;
  DecodedCall call{"LoadComplete", {}, {}};
  run(*this, call);
}

void CVRFlashCtrl::OnTimerTick(std::uint32_t id) {
  auto handler = timerHandlers_.find(id);
  if (handler != timerHandlers_.end()) {
    TimerHandler run = handler->second;
    run(*this);
  }
  CAppFlashCtrlBase::OnTimerTick(id);
}

bool CVRFlashCtrl::IsPluggableCommand(std::string_view name) {
  if (name == "LoadComplete") return true;
  const Command* command = FindCommand(name);
  return command != nullptr && command->run == nullptr;
}

bool CVRFlashCtrl::InstallCommandHandler(std::string_view name, MovieCommandHandler handler) {
  if (!IsPluggableCommand(name)) return false;
  if (handler)
    handlers_.insert_or_assign(std::string(name), std::move(handler));
  else if (auto it = handlers_.find(name); it != handlers_.end())
    handlers_.erase(it);
  return true;
}

bool CVRFlashCtrl::HasCommandHandler(std::string_view name) const { return handlers_.find(name) != handlers_.end(); }

void CVRFlashCtrl::InstallTimerHandler(std::uint32_t id, TimerHandler handler) {
  if (handler)
    timerHandlers_.insert_or_assign(id, std::move(handler));
  else
    timerHandlers_.erase(id);
}

bool CVRFlashCtrl::UpdateCanvasPos(DecodedCall& call) {
  const CanvasArea area = CanvasAreaFromMovie(ParseMovieInt(call.args[0]), ParseMovieInt(call.args[1]),
                                              ParseMovieInt(call.args[2]), ParseMovieInt(call.args[3]));
  bool placed = false;
  if (CanvasPlacement* placement = Canvas()) {
    placement->SetArea(area);
    placed = placement->CenterCanvas();
  }
  call.result = BoolValue(placed);
  return true;
}

// Without a section argument the movie's values live in "Setting". The
// optional section is the argument after the key (reads) or the value (writes).
namespace {
constexpr std::string_view kMovieSettingsSection = "Setting";
}

bool CVRFlashCtrl::ReadSetting(DecodedCall& call, bool registry) {
  const std::string& key = call.args[0];
  const std::string section = call.args.size() > 1 ? call.args[1] : std::string(kMovieSettingsSection);
  call.result = StringValue(registry ? GetRegistryString(section, key) : settings_.GetString(key, section));
  return true;
}

bool CVRFlashCtrl::WriteSetting(DecodedCall& call, bool registry) {
  const std::string& key = call.args[0];
  const std::string& value = call.args[1];
  const std::string section = call.args.size() > 2 ? call.args[2] : std::string(kMovieSettingsSection);
  if (registry)
    SetRegistryString(section, key, value);
  else
    settings_.SetString(key, value, section);
  return true;
}

}  // namespace vornida
