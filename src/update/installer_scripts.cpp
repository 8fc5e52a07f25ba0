#include "update/installer_script.h"

#include <string>

#include "base/bounded_format.h"
#include "platform/desktop.h"

namespace {

std::u16string decimal(std::uint32_t value) { return base::widen_ascii(std::to_string(value)); }

}  // namespace

std::u16string quote_argument(std::u16string_view arg) {
  std::u16string out = u"\"";
  std::size_t slashes = 0;  // backslashes just copied
  for (const char16_t c : arg) {
    if (c == u'"') {
      out.append(slashes + 1, u'\\');  // those backslashes doubled, then \"
    }
    slashes = c == u'\\' ? slashes + 1 : 0;
    out += c;
  }
  out.append(slashes, u'\\');  // so that they do not escape the closing quote
  out += u'"';
  return out;
}

namespace {

constexpr char kPowerShellScript[] =
    "param([int]$ProcId,[string]$Zip,[string]$Dest,[string]$Exe)\r\n"
    "$ErrorActionPreference='Stop'\r\n"
    "try {\r\n"
    "  while (Get-Process -Id $ProcId -ErrorAction SilentlyContinue) { Start-Sleep -Milliseconds 300 }\r\n"
    "  Start-Sleep -Seconds 1\r\n"
    "  $stage = Join-Path $env:TEMP 'vesklar-upd-stage'\r\n"
    "  if (Test-Path -LiteralPath $stage) { Remove-Item -LiteralPath $stage -Recurse -Force }\r\n"
    "  New-Item -ItemType Directory -Path $stage | Out-Null\r\n"
    "  Expand-Archive -LiteralPath $Zip -DestinationPath $stage -Force\r\n"
    "  $copied = $false\r\n"
    "  for ($i = 0; $i -lt 20; $i++) {\r\n"
    "    try {\r\n"
    "      Copy-Item -Path (Join-Path $stage '*') -Destination $Dest -Recurse -Force -ErrorAction Stop\r\n"
    "      $copied = $true\r\n"
    "      break\r\n"
    "    } catch {\r\n"
    "      if ($i -eq 19) { throw }\r\n"
    "      Start-Sleep -Milliseconds 500\r\n"
    "    }\r\n"
    "  }\r\n"
    "  if (-not $copied) { throw 'No se pudo copiar la actualizacion' }\r\n"
    "  Start-Process -FilePath $Exe -WorkingDirectory $Dest\r\n"
    "  Remove-Item -LiteralPath $Zip -Force -ErrorAction SilentlyContinue\r\n"
    "  Remove-Item -LiteralPath $stage -Recurse -Force -ErrorAction SilentlyContinue\r\n"
    "} catch {\r\n"
    "  Add-Type -AssemblyName System.Windows.Forms\r\n"
    "  [System.Windows.Forms.MessageBox]::Show([string]$_.Exception.Message, 'Vesklar')\r\n"
    "}\r\n";

// After -File, Windows PowerShell hands each argument to the script as a
// literal string ('$', '`' and single quotes are not read as code), so
// quoting by the command-line rules is all a path needs.
std::u16string powershell_command(const InstallerArgs& a) {
  return u"powershell.exe -NoProfile -ExecutionPolicy Bypass -File " + quote_argument(a.script) + u" -ProcId " +
         decimal(a.pid) + u" -Zip " + quote_argument(a.zip) + u" -Dest " + quote_argument(a.dest) + u" -Exe " +
         quote_argument(a.exe);
}

// Steps as in the PowerShell script. Paths arrive in the form the system's
// programs take; every failure shows the failing tool's own message.
constexpr char kShellScript[] =
    "#!/bin/sh\n"
    "# Vesklar installer. Arguments: launcher process id, archive, program folder, program.\n"
    "pid=$1 zip=$2 dest=$3 exe=$4\n"
    "# The archive lies in a folder made for this update alone (mode 0700), and\n"
    "# the staging folder goes beside it.\n"
    "work=${zip%/*}\n"
    "stage=$work/stage\n"
    "fail() {\n"
    "  printf 'Vesklar: %s\\n' \"$1\" >&2\n"
    "  if [ -n \"$DISPLAY$WAYLAND_DISPLAY\" ]; then\n"
    "    if command -v zenity >/dev/null 2>&1; then zenity --error --no-markup --title=Vesklar --text=\"$1\"\n"
    "    elif command -v kdialog >/dev/null 2>&1; then kdialog --title Vesklar --error \"$1\"\n"
    "    fi >/dev/null 2>&1\n"
    "  fi\n"
    "  exit 1\n"
    "}\n"
    "run() {\n"
    "  out=$(\"$@\" 2>&1) || fail \"${out:-$1 failed}\"\n"
    "}\n"
    "while kill -0 \"$pid\" 2>/dev/null; do sleep 0.3; done\n"
    "sleep 1\n"
    "run mkdir \"$stage\"\n"
    "if command -v unzip >/dev/null 2>&1; then\n"
    "  run unzip -o -q \"$zip\" -d \"$stage\"\n"
    "else\n"
    "  run python3 -m zipfile -e \"$zip\" \"$stage\"\n"
    "fi\n"
    "i=0\n"
    "until out=$(cp -R -f \"$stage\"/. \"$dest\" 2>&1); do\n"
    "  i=$((i + 1))\n"
    "  [ \"$i\" -lt 20 ] || fail \"${out:-No se pudo copiar la actualizacion}\"\n"
    "  sleep 0.5\n"
    "done\n"
    "# An archive unpacked without its file modes brings a program that cannot run.\n"
    "[ -x \"$exe\" ] || chmod +x \"$exe\" 2>/dev/null\n"
    "[ -f \"$exe\" ] && [ -x \"$exe\" ] || fail \"No se puede iniciar $exe\"\n"
    "(cd \"$dest\" && exec \"$exe\" </dev/null) &\n"
    "rm -rf \"$stage\"\n"
    "rm -f \"$zip\" \"$0\"\n"
    "rmdir \"$work\" 2>/dev/null\n"
    "exit 0\n";

std::u16string quoted_path(const std::u16string& path) { return quote_argument(platform::argument_path(path)); }

std::u16string shell_command(const InstallerArgs& a) {
  return u"/bin/sh " + quoted_path(a.script) + u" " + decimal(a.pid) + u" " + quoted_path(a.zip) + u" " +
         quoted_path(a.dest) + u" " + quoted_path(a.exe);
}

}  // namespace

const InstallerKind kPowerShellInstaller{
    std::string_view(kPowerShellScript, sizeof kPowerShellScript - 1), u"vesklar-update.ps1", powershell_command};
const InstallerKind kShellInstaller{std::string_view(kShellScript, sizeof kShellScript - 1), u"vesklar-update.sh",
                                    shell_command};

const InstallerKind& platform_installer() {
  return platform::installer_shell() == platform::InstallerShell::powershell ? kPowerShellInstaller
                                                                             : kShellInstaller;
}
