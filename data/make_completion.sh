#!/usr/bin/env bash
# Writes the bash completion of tessane-cli from its --help text, so that every option and every
# value list the parser knows is offered without being listed twice.
# Usage: make_completion.sh TESSANE_CLI OUTPUT
set -euo pipefail
[[ $# -eq 2 ]] || { echo "usage: $0 TESSANE_CLI OUTPUT" >&2; exit 2; }

help=$("$1" --help)

# One line per option of the help's option list: its names, then the type word when it takes a
# value ("TEXT", "INT", "TEXT:{a,b}", "TEXT:COLOR", ...), then its description, which the help
# may have moved to the next lines.
options=$(printf '%s\n' "$help" | awk '
  /^  -/ { if (line != "") print line; line = substr($0, 3); next }
  /^      / && line != "" { sub(/^ +/, " "); line = line $0; next }
  { if (line != "") print line; line = "" }
  END { if (line != "") print line }')

all_names=() value_cases=()
while IFS= read -r line; do
  names=${line%% *}
  rest=${line#"$names"}
  rest=${rest#"${rest%%[! ]*}"}
  all_names+=(${names//,/ })
  pattern=${names//,/|}
  type=${rest%% *}
  case $type in
    *:\{*\}*)  # a fixed list of values
      values=${type#*\{}
      values=${values%%\}*}
      value_cases+=("    $pattern) words=\"${values//,/ }\" ;;") ;;
    *:COLOR*)
      value_cases+=("    $pattern) words=\"white black grey gray silver red green lime blue yellow cyan aqua magenta fuchsia orange purple navy maroon olive teal\" ;;") ;;
    TEXT* | INT* | UINT* | FLOAT* | NUMBER* | [A-Z][A-Z]*)
      # A value without a list: a folder or a file when the description names one, else nothing.
      if [[ $rest == *[Ff]older* ]]; then
        value_cases+=("    $pattern) COMPREPLY=(\$(compgen -d -- \"\$cur\")); return ;;")
      elif [[ $rest =~ (^|[^[:alnum:]])file($|[^[:alnum:]]) ]]; then
        value_cases+=("    $pattern) COMPREPLY=(\$(compgen -f -- \"\$cur\")); return ;;")
      else
        value_cases+=("    $pattern) return ;;")
      fi ;;
  esac
done <<<"$options"

[[ ${#all_names[@]} -gt 0 ]] || { echo "$0: no options in $1 --help" >&2; exit 1; }

{
  echo "# bash completion for tessane-cli (generated from tessane-cli --help)"
  echo "_tessane_cli() {"
  echo "  local cur=\${COMP_WORDS[COMP_CWORD]} prev=\${COMP_WORDS[COMP_CWORD-1]} words"
  echo "  COMPREPLY=()"
  echo "  # Bash splits --option=value at the '=': the value completes like one after --option."
  echo "  [[ \$cur == = ]] && return"
  echo "  [[ \$prev == = && \$COMP_CWORD -ge 2 ]] && prev=\${COMP_WORDS[COMP_CWORD-2]}"
  echo "  case \$prev in"
  printf '%s\n' "${value_cases[@]}"
  echo "    *) words= ;;"
  echo "  esac"
  echo "  if [[ -n \$words ]]; then"
  echo "    COMPREPLY=(\$(compgen -W \"\$words\" -- \"\$cur\"))"
  echo "    return"
  echo "  fi"
  echo "  if [[ \$cur == -* ]]; then"
  echo "    COMPREPLY=(\$(compgen -W \"${all_names[*]}\" -- \"\$cur\"))"
  echo "    return"
  echo "  fi"
  echo "  # Sources: files and folders."
  echo "  COMPREPLY=(\$(compgen -f -- \"\$cur\"))"
  echo "}"
  echo "complete -o filenames -F _tessane_cli tessane-cli"
} >"$2.tmp"
mv -f "$2.tmp" "$2"
