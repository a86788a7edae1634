#!/usr/bin/env bash
# Checks that every folder of src/ uses only the folders below it. The graph
# is the one the build links: each orv_library(NAME DEPS...) line of
# CMakeLists.txt says which folders NAME may include. Two rules narrow it:
#
# - db may use mail's message parsing (a log row holds the message it came
#   from), never its transport: of mail, db includes mail/mail_message.h only.
# - Above db nothing opens a table: cycle, ui and app reach tables only
#   through db's managers and lookups. table/ is not in their lines, and a
#   class of a folder a folder may not include is not used there through
#   another header either: no call of its static members (X::f), no object
#   of it made there (X x; new X; make_unique<X>). References and pointers
#   handed through the allowed headers are fine.
#
# Prints each use that breaks a rule and exits 1 when there is one.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root/src"

declare -A allowed=()
while read -r name deps; do
  allowed[$name]="$name $deps"
done < <(sed -nE 's/^orv_library\(([a-z_]+)([^)]*)\).*/\1\2/p' "$root/CMakeLists.txt")
if [ ${#allowed[@]} -eq 0 ]; then
  echo "layers: no orv_library lines found in CMakeLists.txt"
  exit 1
fi
# The one header of mail that db may include.
db_mail_exception="mail/mail_message.h"

may_use() {  # folder target -> 0 when folder may include target
  local a
  for a in ${allowed[$1]}; do [ "$2" = "$a" ] && return 0; done
  return 1
}

faults=0
report() {
  echo "$1"
  faults=$((faults + 1))
}

# Direct includes.
for folder in "${!allowed[@]}"; do
  [ -d "$folder" ] || continue
  while IFS=: read -r file line include; do
    target=${include%%/*}
    if [ "$folder" = db ] && [ "$target" = mail ]; then
      [ "$include" = "$db_mail_exception" ] || report "src/$file:$line: db must not include $include"
      continue
    fi
    may_use "$folder" "$target" || report "src/$file:$line: $folder must not include $include"
  done < <(grep -rnoE '^#include "[a-z_]+/[^"]+"' "$folder" | sed -E 's/#include "([^"]+)"/\1/')
done

# Indirect use: the classes each folder defines in its headers.
defined_in() {  # folder file-pattern -> class names defined at the top level
  grep -hoE '^(class|struct) [A-Z][A-Za-z0-9_]*( final)?( *:[^;{]*)? *\{' "$1"/$2 2>/dev/null |
    sed -E 's/^(class|struct) ([A-Za-z0-9_]+).*/\2/' | sort -u | tr '\n' ' ' || true
}
declare -A defines=()
for folder in "${!allowed[@]}"; do
  [ -d "$folder" ] && defines[$folder]=$(defined_in "$folder" '*.h')
done
for folder in "${!allowed[@]}"; do
  [ -d "$folder" ] || continue
  # Names the folder defines itself (in any file) or may reach are its own.
  own=" $(grep -rhoE '(class|struct) ([A-Za-z0-9_]+::)*[A-Z][A-Za-z0-9_]*' "$folder" 2>/dev/null |
          sed -E 's/.*[ :]([A-Za-z0-9_]+)$/\1/' | sort -u | tr '\n' ' ' || true) "
  for a in ${allowed[$folder]}; do own+="${defines[$a]:-} "; done
  declare -A owner=()
  for other in "${!allowed[@]}"; do
    may_use "$folder" "$other" && continue
    for cls in ${defines[$other]:-}; do
      case "$own" in *" $cls "*) continue ;; esac
      owner[$cls]=$other
    done
  done
  [ ${#owner[@]} -eq 0 ] && { unset owner; continue; }
  names=$(IFS='|'; echo "${!owner[*]}")
  use="(^|[^A-Za-z0-9_:])($names)::|(new|make_unique<|make_shared<) *($names)\\b|^ *($names) +[a-z][A-Za-z0-9_]* *[({;=]"
  while IFS=: read -r file line text; do
    [[ "$text" =~ ^[[:space:]]*// ]] && continue
    for cls in "${!owner[@]}"; do
      if [[ "$text" =~ (^|[^A-Za-z0-9_:])$cls:: || "$text" =~ (new|make_unique<|make_shared<)\ *$cls([^A-Za-z0-9_]|$) ||
            "$text" =~ ^\ *$cls\ +[a-z][A-Za-z0-9_]*\ *[\(\{\;=] ]]; then
        report "src/$file:$line: $folder uses ${owner[$cls]}'s $cls (through another header)"
      fi
    done
  done < <(grep -rnE "$use" "$folder" --include='*.cpp' --include='*.h' || true)
  unset owner
done

if [ $faults -ne 0 ]; then
  echo "layers: $faults use(s) against the layering"
  exit 1
fi
echo "layers: every include and class use of src/ follows the layering (${#allowed[@]} folders)"
