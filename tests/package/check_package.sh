#!/usr/bin/env bash
# Makes the Debian package from the built tree with CPack, into a folder of
# its own so the build's own package and the other tests are left alone, and
# checks what it holds: the programs, their manual pages, the desktop entry,
# the file type it opens, the icons, the metainfo, the samples and the
# documentation Debian asks for, nothing else (no test or benchmark programs,
# no headers or libraries), the control fields, that the desktop entry, the
# metainfo and the file type validate, that the manual pages name every
# option, and that lintian finds neither error nor warning. It installs
# nothing.
#
# check_package.sh CPACK_CONFIG VERSION DEBIAN_VERSION SOURCE_DIR APP_ID
# (VERSION is the programs', DEBIAN_VERSION the package's: VERSION-REVISION)
set -euo pipefail
config=$1 version=$2 debian_version=$3 source=$4 id=$5

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
deb="$work/out/relan_${debian_version}_$(dpkg --print-architecture).deb"
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
  "./usr/share/mime/packages/$id.xml"
  ./usr/share/man/man1/relan.1.gz
  ./usr/share/man/man1/relan-cli.1.gz
  ./usr/share/doc/relan/copyright
  ./usr/share/doc/relan/changelog.Debian.gz
  ./usr/share/lintian/overrides/relan
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
      "./usr/share/mime/packages/$id.xml" | ./usr/share/man/man1/relan.1.gz | \
      ./usr/share/man/man1/relan-cli.1.gz | ./usr/share/relan/samples/* | ./usr/share/doc/relan/* | \
      ./usr/share/lintian/overrides/relan) ;;
    *) fail "unexpected file $f" ;;
  esac
done <"$work/files"

field() { dpkg-deb -f "$deb" "$1"; }
echo "--- control:"
dpkg-deb -f "$deb"
[[ $(field Package) == relan ]] || fail "Package is '$(field Package)'"
[[ $(field Version) == "$debian_version" && $debian_version == "$version"-* ]] ||
  fail "Version is '$(field Version)', the programs say $version"
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

# The desktop entry offers relan only for the types the package declares
# (not, say, for every text file), and the declared type is what the
# desktop's database makes of a .rel file.
mime="$root/usr/share/mime/packages/$id.xml"
mkdir -p "$work/mime/packages"
cp "$mime" "$work/mime/packages/"
XDG_DATA_DIRS=$work update-mime-database "$work/mime" || fail "update-mime-database"
grep -qxF 'application/x-relan:*.rel' <(cut -d: -f2- "$work/mime/globs2") ||
  fail "*.rel is not application/x-relan: $(cat "$work/mime/globs2")"
for type in $(sed -n 's/^MimeType=//p' "$desktop" | tr ';' ' '); do
  grep -qF "<mime-type type=\"$type\">" "$mime" || fail "the desktop entry opens $type, which the package does not declare"
done
[[ -n $(sed -n 's/^MimeType=//p' "$desktop") ]] || fail "the desktop entry opens no file type"

# The newest entry of the changelog is this package's version.
zcat "$root/usr/share/doc/relan/changelog.Debian.gz" >"$work/changelog"
[[ $(dpkg-parsechangelog -l "$work/changelog" -S Version) == "$debian_version" ]] ||
  fail "the changelog's newest entry is $(dpkg-parsechangelog -l "$work/changelog" -S Version), not $debian_version"

# Each manual page renders without a complaint from man and names every
# option the program's help (and each subcommand's) lists.
for program in relan relan-cli; do
  page="$root/usr/share/man/man1/$program.1.gz"
  LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" >"$work/$program.txt" 2>"$work/$program.warnings" ||
    fail "man $program"
  [[ ! -s "$work/$program.warnings" ]] || fail "man $program: $(cat "$work/$program.warnings")"
  "$root/usr/bin/$program" --help >"$work/$program.help"
  for sub in $(awk '/^Subcommands:$/ {on = 1; next} on && /^  [^ ]/ {print $1} on && !/^  / {on = 0}' \
    "$work/$program.help"); do
    grep -qF "$program $sub [OPTIONS]" "$work/$program.txt" || fail "man $program lacks the subcommand $sub"
    "$root/usr/bin/$program" "$sub" --help >>"$work/$program.help"
  done
  for option in $(grep -oE '(^|[ ,])--[a-z][a-z-]*' "$work/$program.help" | tr -d ' ,' | sort -u); do
    grep -qE -- "(^|[ ,])$option( |,|\$)" "$work/$program.txt" || fail "man $program lacks $option"
  done
done

# lintian: no error and no warning. (--show-overrides would count the
# overridden ones as failures; the overrides are in the package, each with
# its reason.)
echo "--- lintian:"
lintian --fail-on error,warning "$deb" || fail "lintian"

if ((failures)); then
  echo "$failures package check(s) failed" >&2
  exit 1
fi
echo "the package holds what it should"
