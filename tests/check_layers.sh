#!/usr/bin/env bash
# Checks that the library's source folders include only from their own layer
# or the layers below it, as drawn in docs/design.md:
#   common -> record -> binary, text -> scan -> capi;  formatter on common only;
#   columns on common and formatter;
# and which public headers (ulvex/NAME.h) each layer may include: those of
# its own classes and of the layers below. A record engine (*_record.h)
# includes no public class at all, only the plain record types.
set -euo pipefail
src=$1
allowed() {  # folder -> the src/ folders it may include from
  case $1 in
    common) echo "common" ;;
    record) echo "common record" ;;
    binary) echo "common record binary" ;;
    text) echo "common record text" ;;
    formatter) echo "common formatter" ;;
    columns) echo "common formatter columns" ;;
    scan) echo "common record binary text scan" ;;
    capi) echo "common record binary text scan formatter capi" ;;
    *) echo "" ;;
  esac
}
plain="export format stag thread_pool"
public() {  # folder -> the public headers it may include
  case $1 in
    common) echo "$plain" ;;
    record) echo "$plain records" ;;
    binary) echo "$plain records external_helper encoder_bin decoder_bin" ;;
    text) echo "$plain records encoder_txt decoder_txt" ;;
    formatter) echo "$plain data_formatter" ;;
    scan) echo "$plain scan range_scan stream_reader" ;;
    columns) echo "$plain columns" ;;
    capi) echo "$plain records external_helper encoder_bin decoder_bin encoder_txt decoder_txt data_formatter scan stream_reader c" ;;
  esac
}
bad=0
for dir in "$src"/*/; do
  folder=$(basename "$dir")
  ok=$(allowed "$folder")
  [ -n "$ok" ] || { echo "unknown source folder src/$folder: add it to tests/check_layers.sh"; bad=1; continue; }
  while IFS=: read -r file _ inc; do
    target=$(printf '%s' "$inc" | sed -E 's/.*#include "([a-z_]+)\/.*/\1/')
    if [ "$target" = ulvex ]; then
      header=$(printf '%s' "$inc" | sed -E 's/.*#include "ulvex\/([a-z_]+)\.h".*/\1/')
      mine=$(public "$folder")
      case $file in *_record.h) mine=$plain ;; esac
      case " $mine " in *" $header "*) ;; *) echo "$file includes ulvex/$header.h, above it"; bad=1 ;; esac
      continue
    fi
    case " $ok " in *" $target "*) ;; *) echo "$file includes from src/$target, above src/$folder"; bad=1 ;; esac
  done < <(grep -HnE '^#include "[a-z_]+/' "$dir"* || true)
done
[ "$bad" = 0 ] && echo "layers OK"
exit "$bad"
