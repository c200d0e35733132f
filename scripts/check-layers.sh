#!/usr/bin/env bash
# Checks that every include in Sources runs down the layers, never up or across:
#
#   Shell → the screens (Storage, Cleanup, Applications) → State → Kit → Platform → MorvoCore
#
# A file in Sources/Morvo/<Layer>/ may include its own folder and any layer below it; the screens
# do not include one another. Sources/MorvoCore includes neither Qt nor anything under Morvo/.
# A source file outside the layer folders is itself an error, so a new folder cannot slip by.
# Prints each offending include as file:line and fails when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

rank() {
    case "$1" in
        Shell) echo 5 ;;
        Storage | Cleanup | Applications) echo 4 ;;
        State) echo 3 ;;
        Kit) echo 2 ;;
        Platform) echo 1 ;;
        *) echo "" ;;
    esac
}

failures=0
fail() {
    echo "check-layers: $1" >&2
    failures=$((failures + 1))
}

while IFS= read -r file; do
    relative=${file#Sources/Morvo/}
    layer=${relative%%/*}
    own=$(rank "$layer")
    if [ "$relative" = "$layer" ] || [ -z "$own" ]; then
        fail "$file is outside the layer folders (Shell, Storage, Cleanup, Applications, State, Kit, Platform)"
        continue
    fi
    # Each line: <line number>:<included path>, for includes of Morvo/<Layer>/...
    while IFS=: read -r line included; do
        target=${included#Morvo/}
        target=${target%%/*}
        theirs=$(rank "$target")
        if [ -z "$theirs" ]; then
            fail "$file:$line includes \"$included\", which is in no layer"
        elif [ "$target" != "$layer" ] && [ "$theirs" -ge "$own" ]; then
            if [ "$theirs" -eq "$own" ]; then
                fail "$file:$line: $layer includes \"$included\" from $target; the screens do not include one another"
            else
                fail "$file:$line: $layer includes \"$included\" from $target, a layer above it"
            fi
        fi
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]Morvo/' "$file" |
        sed -E 's/^([0-9]+):.*include[[:space:]]*["<](Morvo\/[^">]*)[">].*/\1:\2/')
done < <(find Sources/Morvo \( -name '*.h' -o -name '*.cpp' \) | sort)

while IFS=: read -r file line included; do
    fail "$file:$line: the core includes $included; Sources/MorvoCore stays free of Qt and of Morvo/"
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*(<Q[A-Za-z0-9_]*(/|>)|<Qt|["<]Morvo/)' \
    Sources/MorvoCore --include='*.h' --include='*.cpp' |
    sed -E 's/^([^:]+):([0-9]+):.*include[[:space:]]*(["<][^">]*[">]).*/\1:\2:\3/' || true)

if [ "$failures" -gt 0 ]; then
    echo "check-layers: $failures include(s) break the layering (Shell → Storage, Cleanup, Applications → State → Kit → Platform → MorvoCore)" >&2
    exit 1
fi
echo "check-layers: every include runs down the layers"
