// Numbers that travel between the movie and the native side unchanged: the
// message-box style flags and button ids, and the system commands of the
// frame window. They keep the values the movie was written against; each host
// maps them to its own toolkit.
#pragma once

#include <cstdint>

namespace vornida::platform {

// System commands of the frame window.
inline constexpr std::uint32_t kScSize = 0xF000;
inline constexpr std::uint32_t kScMove = 0xF010;
inline constexpr std::uint32_t kScMinimize = 0xF020;
inline constexpr std::uint32_t kScMaximize = 0xF030;
inline constexpr std::uint32_t kScClose = 0xF060;
inline constexpr std::uint32_t kScRestore = 0xF120;

// Private frame messages the movie sends around a window drag.
inline constexpr std::uint32_t kMsgEnterMoveWindow = 1725;
inline constexpr std::uint32_t kMsgExitMoveWindow = 1726;

// Message-box style: the button set is the low four bits, the icon the next four.
inline constexpr std::uint32_t kMbOk = 0x0;
inline constexpr std::uint32_t kMbOkCancel = 0x1;
inline constexpr std::uint32_t kMbAbortRetryIgnore = 0x2;
inline constexpr std::uint32_t kMbYesNoCancel = 0x3;
inline constexpr std::uint32_t kMbYesNo = 0x4;
inline constexpr std::uint32_t kMbRetryCancel = 0x5;
inline constexpr std::uint32_t kMbButtonMask = 0xF;
inline constexpr std::uint32_t kMbIconError = 0x10;
inline constexpr std::uint32_t kMbIconQuestion = 0x20;
inline constexpr std::uint32_t kMbIconWarning = 0x30;
inline constexpr std::uint32_t kMbIconInformation = 0x40;
inline constexpr std::uint32_t kMbIconMask = 0xF0;

// Button ids a message box answers with.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdAbort = 3;
inline constexpr int kIdRetry = 4;
inline constexpr int kIdIgnore = 5;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// File dialog flags the program passes (kept for hosts that honour them).
inline constexpr std::uint32_t kOfnAllowMultiSelect = 0x00000200;
inline constexpr std::uint32_t kOfnOverwritePrompt = 0x00000002;
inline constexpr std::uint32_t kOfnHideReadOnly = 0x00000004;
inline constexpr std::uint32_t kOfnFileMustExist = 0x00001000;
inline constexpr std::uint32_t kOfnPathMustExist = 0x00000800;
inline constexpr std::uint32_t kOfnExplorer = 0x00080000;
inline constexpr std::uint32_t kOfnEnableSizing = 0x00800000;
inline constexpr std::uint32_t kOfnForceShowHidden = 0x10000000;

// The file dialog's thumbnails view.
inline constexpr std::uint32_t kFileDialogThumbnailView = 0x702D;

}  // namespace vornida::platform
