#!/usr/bin/env bash
# Builds the MSI from the files of the Windows build (build/windows) with wixl, then sets what
# wixl cannot: a rebuilt MSI of the same version replaces the installed one (the upgrade row's
# maximum taken inclusively), and the properties a managed install passes are secure.
#
# usage: build-msi.sh VERSION OUTPUT.msi   (VERSION as major.minor.build)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
version=$1
out=$(realpath -m "$2")
bash "$top/scripts/install-packages.sh" wixl msitools
build=$top/build/windows
# wixl only warns of an attribute it does not know; fatal warnings make that a failure.
(cd "$build" && G_DEBUG=fatal-warnings wixl -a x86 -D Version="$version" -D BuildDir="$build" \
  -D StagingDir="$build/packaging" -D PackagingDir="$top/packaging" -o "$out" \
  "$top/packaging/windows/trelmoss.wxs")
msibuild "$out" -q "UPDATE Upgrade SET Attributes = 513 WHERE ActionProperty = 'WIX_UPGRADE_DETECTED'"
msibuild "$out" -q "UPDATE Property SET Value = 'WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;INSTALLDIR;PROMFILE;NOWAKE' WHERE Property = 'SecureCustomProperties'"
