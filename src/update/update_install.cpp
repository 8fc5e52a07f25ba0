#include "update/update_install.h"

#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <optional>

#include "base/bounded_format.h"
#include "base/event_log.h"
#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "update/archive_signature.h"
#include "update/installer_script.h"
#include "update/update_fetch.h"
#include "update/update_key.h"
#include "update/update_messages.h"

namespace {

// Anything smaller is not one of our archives (an error page, a stub).
constexpr std::int64_t kMinArchiveBytes = 1000000;

std::mutex g_handoff_lock;

}  // namespace

bool download_and_install_update(const std::u16string& update_url, const std::u16string& exe_folder,
                                 std::string_view archive_signature, const DownloadWatch* watch) {
  std::unique_lock<std::mutex> handoff(g_handoff_lock);
  const InstallerKind& installer = platform_installer();

  const std::optional<platform::InstallerFolder> folder = platform::installer_folder();
  if (!folder) return false;
  std::u16string archive_path, script_path;
  // A folder made for this update goes again when the hand-off fails; the
  // per-user temporary folder of course stays.
  const auto give_up = [&](std::initializer_list<const std::u16string*> files) {
    for (const std::u16string* file : files) platform::delete_file(*file);
    if (folder->made_for_update) platform::remove_folder(folder->path);
    return false;
  };
  if (!base::join_bounded(archive_path, platform::kMaxPathChars, {folder->path, u"vesklar-update.zip"}) ||
      !base::join_bounded(script_path, platform::kMaxPathChars, {folder->path, installer.script_file})) {
    return give_up({});
  }
  // In a folder of our own nothing may be there yet; in the shared one the
  // fixed names are ours and replaced.
  const auto create = [made_for_update = folder->made_for_update](const std::u16string& path) {
    return made_for_update ? platform::create_new(path) : platform::create_always(path);
  };

  platform::File archive = create(archive_path);
  if (!archive) {
    base::log_os_failure("update_handoff_failed", {"step=create_archive"});
    return give_up({});
  }
  const std::size_t at = update_url.find(u"/descargas/");
  if (at == std::u16string::npos) {
    archive.close();
    // The (empty) archive stays where it is shared; a private folder goes.
    return folder->made_for_update ? give_up({&archive_path}) : false;
  }
  // The rest of the URL, query text included, is the request path.
  const bool fetched = fetch_update_host(std::u16string_view(update_url).substr(at), &archive, nullptr, 0, nullptr,
                                         watch ? watch->progress : platform::HttpsProgress());
  archive.close();
  if (watch && watch->ended) watch->ended();
  if (!fetched) {
    base::log_event("update_handoff_failed", {"step=download"});
    return give_up({&archive_path});
  }

  platform::File check = platform::open_for_read(archive_path);
  std::int64_t size = 0;
  char signature[2] = {};
  std::uint32_t got = 0;
  const bool looks_like_zip = check && check.size(&size) && size >= kMinArchiveBytes &&
                              check.read(signature, 2, &got) && got == 2 && signature[0] == 'P' &&
                              signature[1] == 'K';
  check.close();
  if (!looks_like_zip) {
    base::log_event("update_handoff_failed", {"step=check_archive size=", std::to_string(size)});
    return give_up({&archive_path});
  }
  // Only an archive signed with the built-in key is handed on; a build
  // without a key hands on any zip, as before there were keys.
  if (const std::string_view key = update_public_key_pem(); !key.empty()) {
    const platform::SignatureCheck verdict = check_archive_signature(archive_path, key, archive_signature);
    if (verdict != platform::SignatureCheck::valid) {
      base::log_event("update_handoff_failed",
                      {"step=verify_signature result=", signature_check_name(verdict)});
      return give_up({&archive_path});
    }
  }

  platform::File script = create(script_path);
  if (!script) {
    base::log_os_failure("update_handoff_failed", {"step=create_script"});
    return give_up({&archive_path});
  }
  std::uint32_t written = 0;
  const bool wrote = script.write(installer.script.data(), std::uint32_t(installer.script.size()), &written) &&
                     written == installer.script.size();
  script.close();
  if (!wrote) return give_up({&script_path, &archive_path});

  InstallerArgs args;
  args.script = script_path;
  args.pid = platform::current_process_id();
  args.zip = archive_path;
  args.dest = exe_folder;
  args.exe = exe_folder + u"\\" + std::u16string(platform::program_file_name());
  platform::ProcessOptions options;
  options.hidden = true;
  options.no_window = true;
  if (!platform::start_process(installer.command_line(args), options)) {
    base::log_os_failure("update_handoff_failed", {"step=start_installer"});
    return give_up({&archive_path, &script_path});
  }
  base::log_event("update_handoff", {"result=installer_started"});

  platform::message_box(kUpdateCaption, kUpdateStarted, platform::BoxIcon::information, platform::BoxButtons::ok);
  // Held until the process ends: a second hand-off waiting here must not
  // overwrite the archive the installer is about to unpack.
  handoff.release();
  return true;
}
