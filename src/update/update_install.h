// Downloading an update archive and handing over to the installer script.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/https.h"

// Watches the archive download of a hand-off: `progress` as in
// platform/https.h (false cancels the download, which the hand-off then
// treats as failed), and `ended`, called once the download is over, before
// the archive is checked and before any message.
struct DownloadWatch {
  platform::HttpsProgress progress;
  std::function<void()> ended;
};

// Downloads the archive that `update_url` names from the update host into
// the installer's folder (`installer_folder`: the temporary folder, or on
// Linux a private folder made in it for this update), checks that it is a zip of at least 1,000,000 bytes,
// and, in a program built with an update key (update/update_key.h), that
// `archive_signature` (the manifest's, base64) verifies over the downloaded bytes,
// writes the installer script beside it, starts it hidden and tells the user
// that the program closes and reopens (returning once the box is closed).
//
// True: the installer waits for this process, which must end promptly; the
// hand-off lock stays held until then, so no later hand-off can touch the
// archive or the script. False: nothing runs, the archive is gone (unless
// the URL held no "/descargas/") and the program carries on. Hand-offs on
// several threads run one after the other. Shows no message on failure.
// The installer unpacks into `exe_folder` and starts the program there.
bool download_and_install_update(const std::u16string& update_url, const std::u16string& exe_folder,
                                 std::string_view archive_signature, const DownloadWatch* watch = nullptr);
