#!/usr/bin/env bash
# Builds the libFuzzer harnesses of the link-preview parsing and the RTF reader (clang, ASan + UBSan)
# into fuzz/out.
# Not part of the default build or CI, and scripts/install-deps.sh does not install clang:
#   apt-get install clang        (Debian 12's clang 14 has libFuzzer)
# Run one on its seeds (fuzz/seeds/metadata, decode, clean, rtf), for example:
#   fuzz/out/fuzz_parse_metadata -max_total_time=600 -max_len=65536 fuzz/seeds/metadata
set -euo pipefail
if ! command -v clang++ >/dev/null; then
    echo "fuzz/build.sh needs clang++ with libFuzzer: apt-get install clang" >&2
    exit 1
fi
here="$(cd "$(dirname "$0")" && pwd)"
src="$here/../src"
out="$here/out"
mkdir -p "$out"
flags=(-std=c++20 -O1 -g -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -DQT_NO_KEYWORDS -I"$src" -I"$here/../tests" $(pkg-config --cflags Qt6Core Qt6Gui Qt6Network gumbo))
libs=($(pkg-config --libs Qt6Core Qt6Gui Qt6Network gumbo))
sources=("$src/linkpreview/HTMLPageReader.cpp" "$src/linkpreview/HTMLTextStates.cpp" "$src/linkpreview/CharacterReferences.cpp"
         "$src/linkpreview/EncodingLabels.cpp" "$src/linkpreview/URLPreviewServiceMetadata.cpp"
         "$src/linkpreview/URLPreviewServiceDecoding.cpp" "$src/linkpreview/BoundedHTTPDataLoader.cpp"
         "$src/linkpreview/AddressPolicy.cpp")
for harness in ${HARNESSES:-fuzz_parse_metadata fuzz_decode_html fuzz_clean_text}; do
    clang++ "${flags[@]}" "$here/$harness.cpp" "${sources[@]}" "${libs[@]}" -o "$out/$harness"
done
rtf_sources=("$src/richtext/RtfReader.cpp" "$src/richtext/RtfParser.cpp" "$src/richtext/RtfTokenizer.cpp"
             "$src/richtext/RtfTextBuilder.cpp" "$src/richtext/RtfCharsets.cpp" "$src/richtext/RtfHtml.cpp")
clang++ "${flags[@]}" "$here/fuzz_rtf_reader.cpp" "${rtf_sources[@]}" "${libs[@]}" -o "$out/fuzz_rtf_reader"
echo "built into $out"
