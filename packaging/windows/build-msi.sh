#!/usr/bin/env bash
# Builds the MSI from the files of the Windows build (build/windows) with wixl, then sets what
# wixl cannot: a rebuilt MSI of the same version replaces the installed one (the upgrade row's
# maximum taken inclusively), the properties a managed install passes are secure, and the event
# source's message file is an expandable string ("#%" in the Registry table, which wixl escapes).
#
# usage: build-msi.sh VERSION OUTPUT.msi   (VERSION as major.minor.build)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
version=$1
out=$(realpath -m "$2")
bash "$top/scripts/install-packages.sh" wixl msitools
build=$top/build/windows
# wixl only warns of an attribute it does not know; fatal warnings make that a failure. It takes
# the files' sources relative to the folder it runs in.
(cd "$build" && G_DEBUG=fatal-warnings wixl -a x86 -D Version="$version" -D BuildDir=. \
  -D StagingDir=packaging -D PackagingDir="$(realpath --relative-to=. "$top/packaging")" \
  -o "$out" "$top/packaging/windows/trelmoss.wxs")
# Attributes is part of the Upgrade table's key: the row is replaced, not updated. 513 migrates
# the features and takes the maximum version inclusively.
upgrade_code=$(msiinfo export "$out" Property | sed -n 's/^UpgradeCode\t//p' | tr -d '\r')
msibuild "$out" -q "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'WIX_UPGRADE_DETECTED'"
msibuild "$out" -q "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`) VALUES ('$upgrade_code', '$version', 513, 'WIX_UPGRADE_DETECTED')"
msibuild "$out" -q "UPDATE \`Registry\` SET \`Value\` = '#%[INSTALLDIR]trelmoss.exe' WHERE \`Name\` = 'EventMessageFile'"
msibuild "$out" -q "UPDATE \`Property\` SET \`Value\` = 'WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;INSTALLDIR;PROMFILE;NOWAKE' WHERE \`Property\` = 'SecureCustomProperties'"
