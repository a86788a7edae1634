#!/usr/bin/env bash
# Checks that every folder of src/ includes only the folders below it:
#
#   app -> ui -> cycle -> db, mail;  db -> table -> engine -> platform;
#   mail -> platform;  everything may use common.
#
# Above db/ nothing opens a table itself: cycle, ui and app reach tables
# only through db's managers and lookups, so table/ is not theirs to include.
#
# db may use mail's message parsing (a log row holds the message it came
# from), never its transport. Prints each include that breaks a rule and
# exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/../src"

declare -A allowed=(
  [common]="common"
  [platform]="platform common"
  [engine]="engine platform common"
  [table]="table engine platform common"
  [mail]="mail platform common"
  [db]="db table engine platform common"
  [cycle]="cycle db mail platform common"
  [ui]="ui cycle db mail platform common"
  [app]="app ui cycle db mail engine platform common"
)
# The one header of mail that db may include.
db_mail_exception="mail/mail_message.h"

faults=0
for folder in "${!allowed[@]}"; do
  [ -d "$folder" ] || continue
  while IFS=: read -r file line include; do
    target=${include%%/*}
    ok=0
    for a in ${allowed[$folder]}; do [ "$target" = "$a" ] && ok=1; done
    [ "$folder" = db ] && [ "$include" = "$db_mail_exception" ] && ok=1
    if [ $ok -eq 0 ]; then
      echo "src/$file:$line: $folder must not include $include"
      faults=$((faults + 1))
    fi
  done < <(grep -rnoE '^#include "[a-z_]+/[^"]+"' "$folder" | sed -E 's/#include "([^"]+)"/\1/')
done

if [ $faults -ne 0 ]; then
  echo "layers: $faults include(s) against the layering"
  exit 1
fi
echo "layers: every include of src/ follows the layering (${#allowed[@]} folders)"
