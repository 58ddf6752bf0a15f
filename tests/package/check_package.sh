#!/usr/bin/env bash
# Makes the Debian package from the built tree with CPack, into a folder of
# its own so the build's own package and the other tests are left alone, and
# checks what it holds: the programs, the desktop entry, the icons, the
# metainfo and the samples, nothing else (no test or benchmark programs, no
# headers or libraries), the control fields, and that the desktop entry and
# the metainfo validate. It installs nothing.
#
# check_package.sh CPACK_CONFIG VERSION SOURCE_DIR APP_ID
set -euo pipefail
config=$1 version=$2 source=$3 id=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

if ! cpack --config "$config" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  echo "FAIL: cpack" >&2
  exit 1
fi
deb="$work/out/relan_${version}_$(dpkg --print-architecture).deb"
if [[ ! -f $deb ]]; then
  ls -l "$work/out" >&2
  echo "FAIL: no $(basename "$deb")" >&2
  exit 1
fi

# The package's files (directories aside), as ./usr/...
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort >"$work/files"
echo "--- $(basename "$deb"):"
cat "$work/files"

expected=(
  ./usr/bin/relan
  ./usr/bin/relan-cli
  "./usr/share/applications/$id.desktop"
  "./usr/share/metainfo/$id.metainfo.xml"
  "./usr/share/icons/hicolor/scalable/apps/$id.svg"
  ./usr/share/doc/relan/copyright
)
for size in 16 32 48 64 128 256; do
  expected+=("./usr/share/icons/hicolor/${size}x${size}/apps/$id.png")
done
for sample in "$source"/data/samples/*; do
  expected+=("./usr/share/relan/samples/$(basename "$sample")")
done
for f in "${expected[@]}"; do
  grep -qxF "$f" "$work/files" || fail "missing $f"
done
# Whatever else slipped in: only the places above may hold files.
while read -r f; do
  case $f in
    ./usr/bin/relan | ./usr/bin/relan-cli | "./usr/share/applications/$id.desktop" | \
      "./usr/share/metainfo/$id.metainfo.xml" | ./usr/share/icons/hicolor/*/apps/"$id".* | \
      ./usr/share/relan/samples/* | ./usr/share/doc/relan/*) ;;
    *) fail "unexpected file $f" ;;
  esac
done <"$work/files"

field() { dpkg-deb -f "$deb" "$1"; }
echo "--- control:"
dpkg-deb -f "$deb"
[[ $(field Package) == relan ]] || fail "Package is '$(field Package)'"
[[ $(field Version) == "$version" ]] || fail "Version is '$(field Version)', the programs say $version"
[[ $(field Section) == science ]] || fail "Section is '$(field Section)'"
[[ $(field Maintainer) == *'<'*@*'>' ]] || fail "Maintainer is '$(field Maintainer)'"
[[ -n $(field Description) ]] || fail "no Description"
# dpkg-shlibdeps found the libraries the programs are linked with.
for lib in libc6 libstdc++6 libqt6widgets6 libqt6charts6; do
  field Depends | tr ',' '\n' | awk '{print $1}' | grep -qxF "$lib" || fail "Depends lacks $lib: $(field Depends)"
done

dpkg-deb -x "$deb" "$work/root"
root=$work/root
for program in relan relan-cli; do
  description=$(file -b "$root/usr/bin/$program")
  [[ $description == ELF*", stripped" ]] || fail "usr/bin/$program: $description"
done
for size in 16 32 48 64 128 256; do
  png="$root/usr/share/icons/hicolor/${size}x${size}/apps/$id.png"
  [[ -f $png && $(file -b "$png") == "PNG image data, $size x $size,"* ]] || fail "$png is not a $size px PNG"
done

desktop="$root/usr/share/applications/$id.desktop"
metainfo="$root/usr/share/metainfo/$id.metainfo.xml"
desktop-file-validate "$desktop" || fail "desktop-file-validate"
[[ $(sed -n 's/^Icon=//p' "$desktop") == "$id" ]] || fail "the desktop entry's Icon is not $id"
appstreamcli validate --no-net --strict "$metainfo" || fail "appstreamcli validate"
# The whole tree as a software centre reads it: the metainfo, the desktop
# entry it launches and the icon that entry names.
appstreamcli validate-tree --no-net --strict "$root" || fail "appstreamcli validate-tree"
grep -qF "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
  fail "the metainfo does not launch $id.desktop"
grep -qF "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"

if ((failures)); then
  echo "$failures package check(s) failed" >&2
  exit 1
fi
echo "the package holds what it should"
