#!/usr/bin/env bash
# velmoractl's manual page (Markdown for pandoc) names the same commands
# and options as "velmoractl --help", so that neither is extended alone.
# Commands: the first word of each entry under "Commands:" in --help (both
# words of "schedule send|save"; "on|off|cycle" is three), and the bold
# words opening each term of the page's COMMANDS section. Options: every
# "--name" either of them mentions.
# Usage: manual_page_test.sh VELMORACTL PAGE.md
set -euo pipefail
velmoractl="$1"; page="$2"
fail() { echo "FAIL: $*"; exit 1; }
[ -r "$page" ] || fail "no manual page $page"
help="$("$velmoractl" --help)" || fail "velmoractl --help failed"

help_commands() {
  sed -n '/^Commands:/,/^$/p' <<<"$help" | sed -n 's/^  \([a-z|]\+\)\( \(send\|save\)\)\?.*/\1\2/p' |
    tr '|' '\n' | sort -u
}
# A term: a line of the COMMANDS section that starts with a bold word; its
# commands are the bold words that start it and follow each ", ".
page_commands() {
  sed -n '/^# COMMANDS/,/^# /p' "$page" | grep '^\*\*[a-z]' |
    sed -e 's/^/, /' | grep -o ', \*\*[a-z][a-z ]*\*\*' | sed -e 's/^, \*\*//' -e 's/\*\*$//' | sort -u
}
help_options() { grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u; }
page_options() { sed 's/\\-/-/g' "$page" | grep -o -- '--[a-z][a-z-]*' | sort -u; }

compare() {
  local what="$1" from_help="$2" from_page="$3" only
  [ -n "$from_help" ] || fail "found no $what in --help"
  [ -n "$from_page" ] || fail "found no $what in $page"
  only="$(comm -23 <(echo "$from_help") <(echo "$from_page") | tr '\n' ' ')"
  [ -z "$only" ] || fail "$what in --help but not in the manual page: $only"
  only="$(comm -13 <(echo "$from_help") <(echo "$from_page") | tr '\n' ' ')"
  [ -z "$only" ] || fail "$what in the manual page but not in --help: $only"
}
compare commands "$(help_commands)" "$(page_commands)"
compare options "$(help_options)" "$(page_options)"
echo "the manual page and --help name the same $(help_commands | wc -l) commands and $(help_options | wc -l) options"
