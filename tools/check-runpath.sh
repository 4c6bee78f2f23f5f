#!/usr/bin/env bash
# Fails when an ELF file under the given directories has an empty entry (the current directory)
# or a relative one in its RUNPATH or RPATH: a library planted where the program is run from
# would be loaded.
set -euo pipefail
bad=0; seen=0
while IFS= read -r -d '' f; do
  head -c 4 "$f" 2>/dev/null | grep -q $'^\x7fELF' || continue
  seen=$((seen + 1))
  path=$(readelf -d "$f" | sed -n 's/.*(R\(UN\)\{0,1\}PATH).*\[\(.*\)\]$/\2/p')
  [ -z "$path" ] && continue
  IFS=: read -r -a entries <<<"$path:"
  for e in "${entries[@]}"; do
    case "$e" in
      '$ORIGIN'* | /*) ;;
      *) echo "$f: search path [$path] has the entry '$e'"; bad=1; break ;;
    esac
  done
done < <(find "$@" -type f -print0)
[ "$seen" -gt 0 ] || { echo "no ELF files under $*"; exit 1; }
[ "$bad" -eq 0 ] && echo "search paths of $seen files: clean"
exit "$bad"
