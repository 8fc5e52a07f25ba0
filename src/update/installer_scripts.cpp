#include "update/installer_script.h"

#include <string>

#include "base/bounded_format.h"
#include "platform/platform.h"

namespace {

std::u16string decimal(std::uint32_t value) { return base::widen_ascii(std::to_string(value)); }

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

// Windows passes the paths to PowerShell as they are, each in double quotes
// and without escaping (a Windows path holds no double quote).
std::u16string powershell_command(const InstallerArgs& a) {
  return u"powershell.exe -NoProfile -ExecutionPolicy Bypass -File \"" + a.script + u"\" -ProcId " +
         decimal(a.pid) + u" -Zip \"" + a.zip + u"\" -Dest \"" + a.dest + u"\" -Exe \"" + a.exe + u"\"";
}

// Steps as in the PowerShell script. Paths arrive in the form the system's
// programs take; every failure shows the failing tool's own message.
constexpr char kShellScript[] =
    "#!/bin/sh\n"
    "# Vesklar installer. Arguments: launcher process id, archive, program folder, program.\n"
    "pid=$1 zip=$2 dest=$3 exe=$4\n"
    "stage=${TMPDIR:-/tmp}/vesklar-upd-stage\n"
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
    "run rm -rf \"$stage\"\n"
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
    "rm -f \"$zip\"\n"
    "rm -rf \"$stage\"\n"
    "exit 0\n";

std::u16string quoted_path(const std::u16string& path) {
  return u"\"" + platform::argument_path(path) + u"\"";
}

std::u16string shell_command(const InstallerArgs& a) {
  return u"/bin/sh " + quoted_path(a.script) + u" " + decimal(a.pid) + u" " + quoted_path(a.zip) + u" " +
         quoted_path(a.dest) + u" " + quoted_path(a.exe);
}

}  // namespace

const InstallerKind kPowerShellInstaller{
    std::string_view(kPowerShellScript, sizeof kPowerShellScript - 1), u"vesklar-update.ps1", powershell_command};
const InstallerKind kShellInstaller{std::string_view(kShellScript, sizeof kShellScript - 1), u"vesklar-update.sh",
                                    shell_command};
