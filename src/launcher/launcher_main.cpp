#include "launcher/launcher_main.h"

#include <memory>
#include <new>

#include "base/bounded_format.h"
#include "base/event_log.h"
#include "http/listener.h"
#include "http/server_context.h"
#include "launcher/startup_messages.h"
#include "launcher/startup_steps.h"
#include "media/export_part.h"
#include "platform/files.h"
#include "platform/handle.h"
#include "platform/net.h"
#include "platform/process.h"
#include "platform/text.h"
#include "platform/threads.h"
#include "platform/ui.h"
#include "update/update_offer.h"
#include "update/version.h"

namespace {

constexpr char16_t kInstanceName[] = u"Local\\VesklarEditorV1";
constexpr char kListenAddress[] = "127.0.0.1";
constexpr std::uint16_t kListenPort = 17865;
constexpr int kListenBacklog = 64;
// A connection reaches a worker once its request has begun to arrive, or
// after about this long without a byte (a browser's connection opened ahead
// of need), when a worker then waits for it as usual.
constexpr std::uint32_t kDeferAcceptSeconds = 5;
constexpr std::uint32_t kPollIntervalMs = 200;
constexpr std::uint32_t kAcceptThreadWaitMs = 2000;

int fail_with(const char16_t* text) {
  base::log_event("startup_failed", {"message=", platform::utf16_to_utf8(text)});
  platform::message_box(kMessageCaption, text, platform::BoxIcon::error, platform::BoxButtons::ok);
  return 1;
}

// Appends `suffix` to `base` within the path limit; an empty result means
// it did not fit.
std::u16string compose(const std::u16string& base, std::u16string_view suffix) {
  std::u16string out;
  base::join_bounded(out, platform::kMaxPathChars, {base, suffix});
  return out;
}

// The executable's folder: its full path cut at the last backslash.
bool find_exe_folder(std::u16string* folder) {
  const platform::ExePath exe = platform::exe_path(platform::kPathUnits);
  if (exe.length == 0 || exe.length >= platform::kPathUnits) return false;
  const auto cut = exe.path.rfind(u'\\');
  if (cut == std::u16string::npos) return false;
  *folder = exe.path.substr(0, cut);
  return true;
}

// What the accept thread is given: its own share of the context, so the
// context outlives the thread whatever the launcher does meanwhile.
struct AcceptThreadArgs {
  std::shared_ptr<ServerContext> context;
  platform::NativeHandle listener;
};

void accept_thread_body(void* arg) {
  const std::unique_ptr<AcceptThreadArgs> args(static_cast<AcceptThreadArgs*>(arg));
  accept_loop(std::move(args->context), args->listener);
}

int run_second_instance() {
  // The running instance is not told anything: one more window simply loads
  // its page. Without LOCALAPPDATA there is no profile folder to give the
  // app window, so the default browser opens the page instead.
  const auto local = platform::env_value(u"LOCALAPPDATA", platform::kPathUnits);
  const std::u16string profile_folder = local ? compose(*local, u"\\Vesklar\\profile") : std::u16string();
  if (profile_folder.empty())
    platform::open_with_default_handler(kPageAddress);
  else
    launch_app_window(profile_folder);
  return 0;
}

void wait_for_quit_deadline(const ServerLifecycle& lifecycle) {
  for (;;) {
    platform::sleep_ms(kPollIntervalMs);
    const std::uint32_t deadline = lifecycle.quit_deadline.load();
    if (deadline == 0) continue;
    // The deadline is read again after the table: a beacon arms a new one
    // before it marks its page closed, so an unchanged deadline means the
    // table was not emptied by a beacon whose grace time has yet to run.
    if (quit_due(platform::tick_ms(), deadline, lifecycle.open_pages.any_open()) &&
        lifecycle.quit_deadline.load() == deadline)
      return;
  }
}

}  // namespace

int launcher_main() {
  platform::InstanceLock instance;
  switch (platform::acquire_instance_lock(kInstanceName, &instance)) {
    case platform::InstanceResult::failed: return 1;
    case platform::InstanceResult::already_running: return run_second_instance();
    case platform::InstanceResult::acquired: break;
  }

  // Shared with the accept thread and every connection, which may all
  // outlive this function (see http/server_context.h). Filled in here,
  // before the accept thread starts; only its lifecycle changes afterwards.
  const std::shared_ptr<ServerContext> shared_context = std::make_shared<ServerContext>();
  ServerContext& context = *shared_context;
  ServerFolders& folders = context.folders;

  if (!find_exe_folder(&folders.exe)) return fail_with(kMessageNoSite);
  folders.site = compose(folders.exe, u"\\www");
  if (folders.site.empty()) return fail_with(kMessageNoSite);

  context.version = load_current_version(folders.exe);
  context.bootstrap_script = build_bootstrap_script(context.version);

  // Paths that would not fit are start-up failures: start-up never goes on
  // with a cut path.
  const auto local = platform::env_value(u"LOCALAPPDATA", platform::kPathUnits);
  if (!local) return fail_with(kMessageNoSite);
  const std::u16string data_folder = compose(*local, u"\\Vesklar");
  folders.media = compose(data_folder, u"\\media");
  folders.profile = compose(data_folder, u"\\profile");
  if (data_folder.empty() || folders.media.empty() || folders.profile.empty())
    return fail_with(kMessageNoSite);
  // An existing folder is the ordinary case; a folder that cannot be made
  // shows up later as the failure of whatever uses it.
  platform::prepare_local_app_data(*local);
  platform::create_folder(data_folder);
  base::event_log().open(compose(data_folder, u"\\vesklar.log"));
  base::log_event("start", {"version=", context.version.name, " pid=",
                            std::to_string(platform::current_process_id()), " exe=",
                            platform::utf16_to_utf8(folders.exe)});
  platform::create_folder(folders.media);
  platform::create_folder(folders.profile);

  const auto profile = platform::env_value(u"USERPROFILE", platform::kPathUnits);
  if (!profile) return fail_with(kMessageNoSite);
  folders.downloads = compose(*profile, u"\\Downloads");
  if (folders.downloads.empty()) return fail_with(kMessageNoSite);
  platform::create_folder(folders.downloads);
  remove_leftover_exports(folders.downloads);

  if (platform::file_attributes(folders.site) == platform::kInvalidAttributes) {
    base::log_os_failure("site_folder_missing", {});
    return fail_with(kMessageNoSite);
  }

  ensure_desktop_shortcut(folders.exe);

  // A missing file reads as all bits set, so it fails this test like a
  // folder of that name does.
  const std::u16string page = compose(folders.site, u"\\index.html");
  if (page.empty() || (platform::file_attributes(page) & platform::kAttrDirectory) != 0)
    return fail_with(kMessageNoPage);

  if (offer_update_at_startup(context)) {
    base::log_event("end", {"reason=update_handoff"});
    return 0;
  }

  if (!platform::net_startup()) return fail_with(kMessageNoNetwork);
  platform::Socket listener = platform::tcp_socket();
  if (!listener) {
    base::log_os_failure("socket_failed", {});
    return 1;
  }
  platform::set_listener_address_option(listener);
  platform::defer_accept_until_data(listener, kDeferAcceptSeconds);
  if (!platform::bind_loopback(listener, kListenAddress, kListenPort) ||
      !platform::listen_on(listener, kListenBacklog)) {
    base::log_os_failure("port_busy", {"address=127.0.0.1:17865"});
    platform::message_box(kMessageCaption, kMessagePortBusy, platform::BoxIcon::error,
                          platform::BoxButtons::ok);
    listener.reset();
    platform::net_cleanup();
    return 1;
  }

  std::unique_ptr<AcceptThreadArgs> accept_args(new (std::nothrow) AcceptThreadArgs{shared_context, listener.get()});
  platform::Thread accept_thread =
      accept_args ? platform::start_thread(accept_thread_body, accept_args.get()) : platform::Thread();
  if (!accept_thread.valid()) {
    base::log_event("accept_thread_failed", {});
    // Nobody would ever accept a connection: no page, so no beacon, and the
    // lock would stop every later start. Give everything back and end.
    listener.reset();
    platform::net_cleanup();
    instance.release();
    return 1;
  }
  accept_args.release();  // the accept thread owns them now

  launch_app_window(folders.profile);

  wait_for_quit_deadline(context.lifecycle);
  base::log_event("end", {"reason=pages_closed workers_serving=", std::to_string(worker_threads_live())});

  context.lifecycle.running.store(false);
  platform::close_listener(listener);
  const bool accept_ended = accept_thread.wait(kAcceptThreadWaitMs);
  // Workers still serving are not waited for: a slow download would hold
  // the quit for as long as its reader.
  if (accept_ended && worker_threads_live() == 0) {
    platform::net_cleanup();
    instance.release();
    return 0;
  }
  // Some are: the network layer stays up under them, and the process ends
  // here without the libraries' clean-up, which could wait forever for a
  // lock that a stopped worker held.
  instance.release();
  platform::end_process_abruptly(0);
}
