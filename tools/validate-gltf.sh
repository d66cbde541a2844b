#!/usr/bin/env bash
# Converts models of every kind to glTF with mdlconvert and checks every
# output with the Khronos glTF Validator: 0 errors and 0 warnings each.
#   tools/validate-gltf.sh
#
# The models: the sample model (examples/sample.mdl), every file in
# tests/data/legacy/, and the MDL7 models that validationmodels writes (see
# tools/validationmodels/main.cpp). Each becomes a .glb (with a palette, so
# 8-bit skins are embedded as PNG) and a .gltf with its .bin (without a
# palette, and every fourth one without animation). The two legacy files that
# hold groups of frames must be refused instead (exit 2, nothing written).
# The texture files the outputs name are made beside them as placeholders,
# as a user would place the real ones.
#
# Works in build/ (configured as tools/test.sh does when absent) and
# build/gltf-validation/. Installs Node.js, the image converters and the npm
# packages of tools/web when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
tools/deps.sh
tools/deps.sh --validate
tools/web/setup.sh

build=build
jobs=$(nproc 2>/dev/null || echo 2)
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVANE_BUILD_BENCH=ON -DKELVANE_WERROR=ON >/dev/null
fi
cmake --build "$build" -j"$jobs" --target mdlconvert validationmodels >/dev/null
mdlconvert="$root/$build/tools/mdlconvert"

work="$root/$build/gltf-validation"
rm -rf "$work"
mkdir -p "$work/models" "$work/glb" "$work/gltf"
"$build/tests/validationmodels" "$work/models" 60

# A 256-colour palette running once round the colour wheel.
node -e '
const p = Buffer.alloc(768);
for (let i = 0; i < 256; ++i) {
  const h = i / 256 * 6, f = h - Math.floor(h), q = Math.round(255 * (1 - f)), t = Math.round(255 * f);
  const rgb = [[255, t, 0], [q, 255, 0], [0, 255, t], [0, q, 255], [t, 0, 255], [255, 0, q]][Math.floor(h)];
  rgb.forEach((c, k) => { p[3 * i + k] = c; });
}
require("fs").writeFileSync(process.argv[1], p);' "$work/palette.lmp"

failures=0
outputs=()
convert() {
  local input=$1 stem=$2 n=$3
  local args=("$input" "$work/glb/$stem.glb" --palette "$work/palette.lmp")
  if "$mdlconvert" "${args[@]}" 2>>"$work/warnings.txt"; then
    outputs+=("$work/glb/$stem.glb")
  else
    echo "FAILED: mdlconvert ${args[*]}"
    failures=$((failures + 1))
  fi
  args=("$input" "$work/gltf/$stem.gltf")
  if [ $((n % 4)) -eq 3 ]; then args+=(--no-animation); fi
  if "$mdlconvert" "${args[@]}" 2>>"$work/warnings.txt"; then
    outputs+=("$work/gltf/$stem.gltf")
  else
    echo "FAILED: mdlconvert ${args[*]}"
    failures=$((failures + 1))
  fi
}

n=0
convert examples/sample.mdl sample $n
for input in tests/data/legacy/idpo/*.mdl tests/data/legacy/idp2/*.md2; do
  n=$((n + 1))
  stem=$(basename "${input%.*}")
  case "$stem" in
    flame2 | laser)
      # Groups of frames, which the readers do not read: refused whole.
      if "$mdlconvert" "$input" "$work/glb/$stem.glb" 2>"$work/refused.txt"; then
        echo "FAILED: $input was converted, but its groups of frames cannot be read"
        failures=$((failures + 1))
      elif [ -e "$work/glb/$stem.glb" ] || ! grep -q "offset" "$work/refused.txt"; then
        echo "FAILED: refusing $input left a file or named no offset: $(cat "$work/refused.txt")"
        failures=$((failures + 1))
      fi
      continue
      ;;
  esac
  convert "$input" "legacy-$stem" $n
done
for input in "$work"/models/*.mdl; do
  n=$((n + 1))
  convert "$input" "$(basename "${input%.mdl}")" $n
done

# Texture files that models name (an external texture reference becomes an
# image with that URI) are not part of the model: a user places them beside
# the converted file. Here each one is a small placeholder, PNG or JPEG as
# its name says, so that the validator can load and check every image.
printf 'P3\n2 2\n255\n200 120 40  90 60 20  90 60 20  200 120 40\n' >"$work/texture.ppm"
for folder in "$work/glb" "$work/gltf"; do
  mapfile -t textures < <(node tools/web/image-uris.mjs "$folder"/*.gl*)
  for texture in "${textures[@]}"; do
    [ -e "$folder/$texture" ] && continue
    mkdir -p "$(dirname "$folder/$texture")"
    case "${texture,,}" in
      *.png) pnmtopng "$work/texture.ppm" >"$folder/$texture" 2>/dev/null ;;
      *) cjpeg -quality 90 "$work/texture.ppm" >"$folder/$texture" ;;
    esac
    echo "texture placeholder: ${folder#"$work"/}/$texture"
  done
done

echo "== Khronos glTF Validator over ${#outputs[@]} files =="
node tools/web/validate.mjs "${outputs[@]}" >"$work/report.txt" || failures=$((failures + 1))
grep -v ': 0 errors, 0 warnings' "$work/report.txt" || true
echo "mdlconvert warnings: $(wc -l <"$work/warnings.txt") lines in $work/warnings.txt"
if [ "$failures" -ne 0 ]; then
  echo "glTF validation FAILED ($failures problems)"
  exit 1
fi
echo "glTF validation passed"
