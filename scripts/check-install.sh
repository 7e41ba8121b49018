#!/usr/bin/env bash
# Installs a built tree into a scratch DESTDIR and checks what a desktop needs: the programs, the
# desktop entry, the icons, the AppStream metadata (validated), the manual pages (rendered) and
# the changelog; then builds the Debian package, checks that it names its dependencies, and runs
# lintian (no error, no warning) and hardening-check on it.
set -euo pipefail
build=${1:?usage: check-install.sh BUILD_DIR}
id=org.kelvo.Kelvo
dest=$(mktemp -d /tmp/kelvo-install.XXXXXX)
trap 'rm -rf "$dest"' EXIT

DESTDIR="$dest" cmake --install "$build" --prefix /usr >/dev/null
for file in usr/bin/kelvo usr/bin/kelvoctl usr/share/man/man1/kelvo.1.gz usr/share/man/man1/kelvoctl.1.gz \
    usr/share/doc/kelvo/changelog.gz "usr/share/applications/$id.desktop" "usr/share/metainfo/$id.metainfo.xml" "usr/share/mime/packages/$id.xml" usr/share/doc/kelvo/copyright \
    "usr/share/icons/hicolor/"{16x16,32x32,48x48,256x256}"/apps/$id.png"; do
    [ -s "$dest/$file" ] || { echo "not installed: $file"; exit 1; }
done
[ -x "$dest/usr/bin/kelvo" ] || { echo "usr/bin/kelvo is not executable"; exit 1; }
desktop-file-validate "$dest/usr/share/applications/$id.desktop"
appstreamcli validate --no-net --explain "$dest/usr/share/metainfo/$id.metainfo.xml"
# Show files are known by their name, and the desktop entry opens them.
update-mime-database "$dest/usr/share/mime"
grep -qx 'application/x-kelvo-show:\*\.kelvo' "$dest/usr/share/mime/globs" || { echo "*.kelvo is not a Kelvo show"; exit 1; }
grep -qx 'MimeType=application/x-kelvo-show;' "$dest/usr/share/applications/$id.desktop" || { echo "the entry opens no show"; exit 1; }
rm -rf "$dest/usr/share/mime/"{globs,globs2,magic,mime.cache,types,subclasses,aliases,icons,generic-icons,treemagic,XMLnamespaces,version,application}
# The manual renders without a warning.
for page in kelvo kelvoctl; do
    warnings=$(LC_ALL=C.UTF-8 man --warnings -E UTF-8 -l "$dest/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || { echo "the manual page of $page renders with warnings: $warnings"; exit 1; }
done

(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls -t "$build"/kelvo_*.deb | head -n 1)
info=$(dpkg-deb -I "$deb")
echo "$info" | grep -E '^ (Package|Version|Architecture|Depends|Maintainer):'
echo "$info" | grep -qE '^ Depends:.*libpulse0' || { echo "the package names no libpulse dependency"; exit 1; }
echo "$info" | grep -qE '^ Depends:.*libqt6multimedia' && { echo "the package still depends on Qt Multimedia"; exit 1; }
echo "$info" | grep -qE '^ Depends:.*libmpg123' || { echo "the package names no libmpg123 dependency"; exit 1; }
unpacked="$dest/deb"
dpkg-deb -x "$deb" "$unpacked"
[ -s "$unpacked/usr/share/doc/kelvo/copyright" ] || { echo "the package carries no copyright file"; exit 1; }
[ -s "$unpacked/usr/share/man/man1/kelvo.1.gz" ] || { echo "the package carries no manual page"; exit 1; }
if readelf -S "$unpacked/usr/bin/kelvo" | grep -qE '\.(debug_info|symtab)'; then
    echo "the packaged program is not stripped"; exit 1
fi
if readelf -S "$unpacked/usr/bin/kelvo" | grep -q '\.comment'; then
    echo "the packaged program keeps its .comment section"; exit 1
fi
ldd "$unpacked/usr/bin/kelvoctl" | grep -qi qt && { echo "kelvoctl loads Qt"; exit 1; }
# What a Debian maintainer checks: no lintian error or warning, and the hardening in place.
lintian_out=$(lintian --pedantic --allow-root "$deb" 2>&1 || true)
echo "$lintian_out" | sed 's/^/lintian: /'
if echo "$lintian_out" | grep -qE '^[EW]: '; then
    echo "lintian reports errors or warnings"; exit 1
fi
# Control-flow protection is left out: Debian 12's own start files carry no CET marking, so no
# program linked there has it (paplay neither).
hardening-check --nocfprotection "$unpacked/usr/bin/kelvo" "$unpacked/usr/bin/kelvoctl"
echo "installed size: $(echo "$info" | sed -n 's/^ Installed-Size: //p') KiB"
echo "install tree and package: ok"
