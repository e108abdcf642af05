#!/bin/bash
# Builds the Windows installer from the cross-built tree:
#   build-windows/kelvox-<version>-x64.msi   (or the path given as $1)
# The programs are staged with `cmake --install`, stripped, and checked to
# import no DLL that is neither in the package nor part of Windows; wixl turns
# packaging/windows/kelvox.wxs and the list of staged files into the package;
# msibuild then adds what wixl cannot express (see kelvox.wxs).
#
# KELVOX_MSI_NO_BUILD=1  package build-windows as it is (scripts/windows.sh
#                        has just built it)
set -euo pipefail
cd "$(dirname "$0")/.."

build=build-windows
triplet=x86_64-w64-mingw32
fail() { echo "msi: $*" >&2; exit 1; }

scripts/deps.sh msi
for tool in wixl msibuild msiinfo "$triplet-objdump" "$triplet-strip"; do
  command -v "$tool" >/dev/null || fail "no $tool; run scripts/windows-deps.sh as root"
done
if [ -z "${KELVOX_MSI_NO_BUILD:-}" ]; then
  scripts/windows-build.sh kelvox_runtime
fi

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"
msi="${1:-$build/kelvox-$version-x64.msi}"

work="$build/msi"
rm -rf "$work"
mkdir -p "$work"
cmake --install "$build" --prefix "$work/stage" >/dev/null
bin="$work/stage/bin"
[ -f "$bin/kelvox.exe" ] || fail "cmake --install staged no kelvox.exe"
"$triplet-strip" --strip-debug "$bin"/*.exe "$bin"/*.dll

# A DLL is part of Windows when MinGW has an import library for it; every
# other DLL a staged binary imports must be staged too.
sysroot_lib="/usr/$triplet/lib"
shopt -s nocaseglob
for binary in "$bin"/*.exe "$bin"/*.dll; do
  while read -r dll; do
    name="${dll%.[dD][lL][lL]}"
    case "$name" in api-ms-win-*) continue ;; esac
    compgen -G "$bin/$dll" >/dev/null && continue
    [ -e "$sysroot_lib/lib${name,,}.a" ] && continue
    fail "$(basename "$binary") imports $dll, which is neither packaged nor part of Windows"
  done < <("$triplet-objdump" -p "$binary" | sed -n 's/^[[:space:]]*DLL Name: //p')
done
shopt -u nocaseglob

# One component per staged file, each its own key path; wixl derives the
# component's code from the file's installed path, so upgrades find it.
{
  echo '<?xml version="1.0" encoding="utf-8"?>'
  echo '<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">'
  echo '  <Fragment>'
  echo '    <DirectoryRef Id="INSTALLDIR">'
  for file in "$bin"/*; do
    name="$(basename "$file")"
    id="p_${name//[^A-Za-z0-9_.]/_}"
    echo "      <Component Id=\"$id\" Guid=\"*\" Win64=\"yes\">"
    echo "        <File Id=\"$id\" Name=\"$name\" Source=\"$file\" KeyPath=\"yes\"/>"
    echo '      </Component>'
  done
  echo '    </DirectoryRef>'
  echo '  </Fragment>'
  echo '  <Fragment>'
  echo '    <ComponentGroup Id="Programs">'
  for file in "$bin"/*; do
    name="$(basename "$file")"
    echo "      <ComponentRef Id=\"p_${name//[^A-Za-z0-9_.]/_}\"/>"
  done
  echo '    </ComponentGroup>'
  echo '  </Fragment>'
  echo '</Wix>'
} >"$work/programs.wxs"

# The configuration names the places under %ProgramData%\kelvox, which is
# C:\ProgramData on every Windows that supports moving it at all.
# The template joins folder and file with '/': Windows' own separator here.
data='C:\\ProgramData\\kelvox'
sed -e "s|@KELVOX_STATE_DIR@/|$data\\\\|g" -e "s|@KELVOX_LOG_DIR@/|$data\\\\logs\\\\|g" \
  -e "s|@KELVOX_CONFIG_DIR@/|$data\\\\|g" \
  packaging/global.config.in >"$work/global.config"
! grep -q '@KELVOX_' "$work/global.config" || fail "global.config.in has a place msi.sh does not fill"

wixl -a x64 -D Version="$version" -D Config="$work/global.config" \
  -o "$work/kelvox.msi" packaging/windows/kelvox.wxs "$work/programs.wxs"

# Component attributes: 256 is a 64-bit component, 16 permanent (uninstall
# leaves it), 128 never overwritten (an upgrade keeps the file there).
# Upgrade attributes: 1 migrates features, 512 includes the installed version
# itself, so the package also upgrades over its own version.
# Path: '=' set when installing, '-' removed when uninstalling, '*' the
# system's variable; [~] keeps the existing value in front.
# The data folder's access list, protected from inheritance: full control for
# SYSTEM (SY) and Administrators (BA), inherited by what is created inside.
upgrade_code=$(msiinfo export "$work/kelvox.msi" Property | sed -n 's/^UpgradeCode\t//p' | tr -d '\r')
[ -n "$upgrade_code" ] || fail "wixl wrote no upgrade code"
sql() { msibuild "$work/kelvox.msi" -q "$1" || fail "msibuild refused: $1"; }
sql "UPDATE Component SET Attributes = 272 WHERE Component = 'DataFolder' OR Component = 'LogFolder'"
sql "UPDATE Component SET Attributes = 400 WHERE Component = 'Configuration'"
# The attributes are part of the Upgrade table's key: replaced, not updated.
sql "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'WIX_UPGRADE_DETECTED'"
sql "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`)
     VALUES ('$upgrade_code', '$version', 513, 'WIX_UPGRADE_DETECTED')"
sql "CREATE TABLE \`Environment\` (\`Environment\` CHAR(72) NOT NULL,
     \`Name\` CHAR(255) NOT NULL LOCALIZABLE, \`Value\` CHAR(255) LOCALIZABLE,
     \`Component_\` CHAR(72) NOT NULL PRIMARY KEY \`Environment\`)"
sql "INSERT INTO \`Environment\` (\`Environment\`, \`Name\`, \`Value\`, \`Component_\`)
     VALUES ('ProgramPath', '=-*Path', '[~];[INSTALLDIR]', 'PathEntry')"
sql "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('RemoveEnvironmentStrings', 3300)"
sql "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('WriteEnvironmentStrings', 5200)"
sql "CREATE TABLE \`MsiLockPermissionsEx\` (\`MsiLockPermissionsEx\` CHAR(72) NOT NULL,
     \`LockObject\` CHAR(72) NOT NULL, \`Table\` CHAR(32) NOT NULL,
     \`SDDLText\` LONGCHAR NOT NULL, \`Condition\` CHAR(255) PRIMARY KEY \`MsiLockPermissionsEx\`)"
sql "INSERT INTO \`MsiLockPermissionsEx\` (\`MsiLockPermissionsEx\`, \`LockObject\`, \`Table\`,
     \`SDDLText\`) VALUES ('DataFolderAccess', 'DATADIR', 'CreateFolder',
     'D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)')"

tables="$(msiinfo tables "$work/kelvox.msi")"
for table in File Component Environment MsiLockPermissionsEx Upgrade; do
  grep -qx "$table" <<<"$tables" || fail "the package has no $table table"
done
mv "$work/kelvox.msi" "$msi"
echo "msi: $msi"
