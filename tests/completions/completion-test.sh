#!/bin/bash
# completion-test.sh LAUNCHER COMPLETIONS_DIR (needs bash-completion and zsh, as scripts/deps.txt lists)
# The bash completion offers what the program takes: its commands, each command's options as
# that command's --help names them, image files where images go, and nothing after an option
# that takes a value. The zsh completion must at least parse.
set -u
launcher=$1 completions=$2 work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/files"
ln -s "$launcher" "$work/bin/pelorin"
export PATH="$work/bin:$PATH"
cd "$work/files" && touch shot.png notes.txt

# shellcheck disable=SC1091,SC1090
source /usr/share/bash-completion/bash_completion && source "$completions/pelorin.bash" || exit 1
offers() {  # the words completed for the command line WORDS… (the last one is being typed)
    COMP_WORDS=("$@") COMP_CWORD=$(($# - 1)) COMP_LINE="$*" COMPREPLY=()
    COMP_POINT=${#COMP_LINE}
    _pelorin
    printf '%s\n' "${COMPREPLY[@]}" | sort
}
status=0
while IFS='|' read -r name line expected; do
    read -ra words <<<"$line"
    [[ $line == *' ' ]] && words+=("")
    got=$(offers "${words[@]}" | tr '\n' ' ' | sed 's/ $//')
    if [ "$got" != "$expected" ]; then
        echo "FAIL $name: 'pelorin ${line}' offers '$got', expected '$expected'" >&2
        status=1
    fi
done <<'ROWS'
commands|pelorin r|render
launcher options|pelorin --capture|--capture --capture-window
render options from its help|pelorin render --cor|--corner-radius
detect options from its help|pelorin detect --comp|--components
images for render|pelorin render |shot.png
nothing after an option that takes a value|pelorin render shot.png --padding |
browser frames|pelorin render shot.png --browser |dark light
any file for upload|pelorin upload |notes.txt shot.png
ROWS

zsh -n "$completions/_pelorin" || { echo "FAIL zsh: _pelorin does not parse" >&2; status=1; }
exit $status
