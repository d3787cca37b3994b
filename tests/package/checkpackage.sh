#!/bin/sh
# Builds the Debian package from the build tree and checks it as the distribution would:
# lintian reports no error and only the warnings README.md lists with a reason, the desktop
# entry validates, the changelog names the package's version and the manual pages cover every
# option. Usage: checkpackage.sh BUILD_DIR SOURCE_DIR. Exit 77 (skipped) without the tools.
set -eu
build=$1
source=$2

for tool in lintian desktop-file-validate dpkg-parsechangelog; do
    if ! command -v "$tool" >/dev/null; then
        echo "$tool is not installed (scripts/setup installs it): package not checked"
        exit 77
    fi
done

out=$build/package-check
rm -rf "$out"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >"$out.log" 2>&1 || {
    cat "$out.log"
    exit 1
}
deb=$(ls "$out"/celvane_*.deb)
dpkg-deb -x "$deb" "$out/root"
failed=0

lintian --fail-on none "$deb" >"$out/lintian.txt" 2>"$out/lintian.log" || {
    cat "$out/lintian.log"
    exit 1
}
cat "$out/lintian.txt"
if grep -q '^E:' "$out/lintian.txt"; then
    echo "lintian reports errors"
    failed=1
fi
for tag in $(sed -n 's/^W: [^ ]* \([^ ]*\).*/\1/p' "$out/lintian.txt" | sort -u); do
    if ! grep -q "^- \`$tag\`: " "$source/README.md"; then
        echo "lintian warning $tag is not listed in README.md"
        failed=1
    fi
done

if [ -n "$(desktop-file-validate "$out/root/usr/share/applications/celvane.desktop")" ]; then
    desktop-file-validate "$out/root/usr/share/applications/celvane.desktop"
    failed=1
fi

gzip -dc "$out/root/usr/share/doc/celvane/changelog.gz" >"$out/changelog"
logged=$(dpkg-parsechangelog -l "$out/changelog" -S Version)
packaged=$(dpkg-deb -f "$deb" Version)
if [ "$logged" != "$packaged" ]; then
    echo "the changelog's latest version is $logged, the package's $packaged"
    failed=1
fi

for program in celvane celvane-instrument; do
    page=$(gzip -dc "$out/root/usr/share/man/man1/$program.1.gz")
    for option in $("$build/bin/$program" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
        escaped=$(printf '%s' "$option" | sed 's/-/\\\\-/g')
        if ! printf '%s' "$page" | grep -q -- "$escaped"; then
            echo "the manual page of $program does not mention $option"
            failed=1
        fi
    done
done
exit $failed
