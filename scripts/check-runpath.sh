#!/bin/bash
# Fails when an ELF file under the given files and folders has a library
# search path (RPATH or RUNPATH) with an empty element, which the loader
# takes for the working directory, or a relative one, resolved from the
# working directory as well: either lets whoever controls the folder a
# command is started in plant a library into it. Elements must be absolute
# or start with $ORIGIN.
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: check-runpath.sh FILE-OR-FOLDER..." >&2; exit 2; }

bad=0
checked=0
while IFS= read -r -d '' file; do
  # Only ELF files: readelf refuses anything else.
  dynamic=$(readelf -d "$file" 2>/dev/null) || continue
  checked=$((checked + 1))
  while IFS= read -r path; do
    # A trailing ':' would be dropped by read -a: check the ends first.
    if [[ -z $path || $path == :* || $path == *: || $path == *::* ]]; then
      echo "check-runpath: $file: empty element in '$path'" >&2
      bad=1
      continue
    fi
    IFS=: read -r -a elements <<<"$path"
    for element in "${elements[@]}"; do
      case $element in
        /* | '$ORIGIN' | '$ORIGIN/'* | '${ORIGIN}' | '${ORIGIN}/'*) ;;
        *) echo "check-runpath: $file: relative element '$element' in '$path'" >&2; bad=1 ;;
      esac
    done
  done < <(sed -n 's/.*(R\(UN\)\{0,1\}PATH).*\[\(.*\)\]$/\2/p' <<<"$dynamic")
done < <(find "$@" -type f -print0)
[ "$checked" -gt 0 ] || { echo "check-runpath: no ELF file found in $*" >&2; exit 1; }
[ "$bad" -eq 0 ] && echo "check-runpath: $checked ELF files, every search path absolute or from \$ORIGIN"
exit "$bad"
