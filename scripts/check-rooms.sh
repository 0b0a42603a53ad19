#!/usr/bin/env bash
# Every include points down the rooms: a directory includes only itself and the rooms listed for it here.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A may=(
    [common]=""
    [platform]="common"
    [log]="common platform"
    [config]="common platform log"
    [nntp]="common platform log"
    [decode]="common platform log"
    [parts]="common platform log config"
    [engine]="common platform log config nntp decode parts"
    [console]="common platform log config nntp decode parts engine"
    [ui]="common platform log config nntp decode parts engine"
)

bad=0
for room in "${!may[@]}"; do
    [ -d "$room" ] || continue
    while IFS=: read -r file line target; do
        target=${target#*\"}
        target=${target%%/*}
        case " $room ${may[$room]} " in
            *" $target "*) ;;
            *) echo "$file:$line: $room may not include $target/" >&2; bad=1 ;;
        esac
    done < <(grep -rnoE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[a-z]+/' "$room" || true)
done
grep -rlE '#[[:space:]]*include[[:space:]]*<Q' common platform log config nntp decode parts engine console 2>/dev/null \
    | sed 's/$/: only ui\/ includes Qt/' >&2 && bad=1
exit $bad
