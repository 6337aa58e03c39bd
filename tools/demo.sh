#!/usr/bin/env bash
# Shows one store run and one release run with "B" on a private X display.
set -euo pipefail
tavo=$(realpath "$1")

work=$(mktemp -d)
exec {fd}<> <(:)
Xvfb -displayfd "$fd" -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null; rm -rf "$work"' EXIT
read -r -t 20 -u "$fd" number
export DISPLAY=":$number"
cp "$tavo" "$work/tavo"

show() {
    printf '  clipboard: %s\n' "$(xclip -selection clipboard -o 2>/dev/null | sed 's/^/"/; s/$/"/' || echo '(empty)')"
    if [ -e "$work/TAVO.TXT" ]; then
        printf '  TAVO.TXT:  "%s" (%s bytes)\n' "$(cat "$work/TAVO.TXT")" "$(stat -c %s "$work/TAVO.TXT")"
    else
        echo "  TAVO.TXT:  (none)"
    fi
}

echo "TAVO demo on private display $DISPLAY, program in $work"
printf 'Hello from X' | xclip -selection clipboard -i
echo; echo "1. The user copies \"Hello from X\":"; show
"$work/tavo"
echo; echo "2. tavo (store run): the text waits in TAVO.TXT, the clipboard is unchanged:"; show
printf ', and Y' | xclip -selection clipboard -i
echo; echo "3. The user copies \", and Y\":"; show
"$work/tavo" B
echo; echo "4. tavo B (release run): saved text, then the current one; TAVO.TXT is gone:"; show
# The keeper ends when another program takes the clipboard.
printf '' | xclip -selection clipboard -i 2>/dev/null
