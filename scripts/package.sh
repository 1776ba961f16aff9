#!/usr/bin/env bash
# Makes the Windows package: build/package/KOMVAS-<version>-win64.zip, holding the folder
# KOMVAS-<version>/ with the four programs, the sample KOMVAS.ini and komvas-mqtt.ini, the
# demonstration values demo.txt and the guide in English and Japanese (Markdown, and HTML to read in a browser).
# Builds the Windows programs, or reuses the build that is there. Safe to run again: the
# folder and the zip are made anew each time.
#   scripts/package.sh
# KOMVAS_GUIDE_DIR names another folder to take guide.en.md and guide.ja.md from (default:
# docs/ of the source tree).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$top/build
guides=${KOMVAS_GUIDE_DIR:-$top/docs}
# The files that go to users as they are (sample configuration, demonstration values) live in
# package/ at the top of the tree: they belong to the product the user unpacks, not to the
# scripts that assemble it.
shipped=$top/package

fail() {
  echo "package: $*" >&2
  exit 1
}

missing=()
for tool in cmake ninja x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-strip cmark-gfm zip \
            unzip; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
[ ${#missing[@]} -eq 0 ] ||
  fail "missing programs: ${missing[*]} (scripts/setup.sh installs them; run it as root)"
for file in "$guides/guide.en.md" "$guides/guide.ja.md" "$shipped/KOMVAS.ini" \
            "$shipped/komvas-mqtt.ini" "$shipped/demo.txt"; do
  [ -f "$file" ] || fail "missing $file"
done

"$top/scripts/third_party.sh"
cmake -S "$top" -B "$build/windows" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64-x86_64.cmake" -C "$build/third-party.cmake" >/dev/null
cmake --build "$build/windows" --target KOMVAS komvas-dde komvas-sim komvas-mqtt
version=$(cat "$build/windows/komvas-version.txt")
[ -n "$version" ] || fail "no version in $build/windows/komvas-version.txt"

name=KOMVAS-$version
out=$build/package
folder=$out/$name
zip=$out/$name-win64.zip
rm -rf "$folder" "$zip"
mkdir -p "$folder"

# The programs without their debugging information (a quarter of their size); the version
# resource stays.
for program in KOMVAS komvas-dde komvas-sim komvas-mqtt; do
  x86_64-w64-mingw32-strip --strip-all -o "$folder/$program.exe" "$build/windows/bin/$program.exe"
done

# Text files get Windows line ends, so that every editor on the plant's PCs shows them right.
crlf() { sed 's/\r*$/\r/' "$1" > "$2"; }
crlf "$shipped/KOMVAS.ini" "$folder/KOMVAS.ini"
crlf "$shipped/komvas-mqtt.ini" "$folder/komvas-mqtt.ini"
crlf "$shipped/demo.txt" "$folder/demo.txt"

# The guide: the Markdown as written, and a whole HTML page of each (UTF-8 declared, so that
# a browser shows the Japanese) with its first heading as the title. Links between the two
# guides point at the HTML pages in the HTML.
html_escape() { sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g'; }
for lang in en ja; do
  source=$guides/guide.$lang.md
  cp "$source" "$folder/guide.$lang.md"
  title=$(sed -n 's/^#[[:space:]]\+//p' "$source" | head -n 1 | html_escape)
  [ -n "$title" ] || title=KOMVAS
  {
    printf '<!DOCTYPE html>\n<html lang="%s">\n<head>\n<meta charset="utf-8">\n' "$lang"
    printf '<meta name="viewport" content="width=device-width, initial-scale=1">\n'
    printf '<title>%s</title>\n' "$title"
    cat <<'STYLE'
<style>
body { max-width: 50em; margin: 2em auto; padding: 0 1em; line-height: 1.5;
       font-family: "Segoe UI", "Yu Gothic UI", "Meiryo", sans-serif; }
code, pre { font-family: Consolas, "MS Gothic", monospace; background: #f4f4f4; }
pre { padding: 0.5em; overflow-x: auto; }
table { border-collapse: collapse; }
th, td { border: 1px solid #bbb; padding: 0.2em 0.5em; text-align: left; }
</style>
STYLE
    printf '</head>\n<body>\n'
    # The guide is the project's own text: HTML written in it (a <br> in a table) is kept.
    cmark-gfm --unsafe --extension table --extension autolink --extension strikethrough \
              --to html "$source" | sed 's/href="\(guide\.[a-z][a-z]\)\.md/href="\1.html/g'
    printf '</body>\n</html>\n'
  } > "$folder/guide.$lang.html"
done

(cd "$out" && zip -q -r -X "$zip" "$name")
echo "package: $zip"
unzip -l "$zip"
