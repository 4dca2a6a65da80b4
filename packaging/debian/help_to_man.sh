#!/bin/sh
# Makes a tool's manual page from its --help, shown as the tool prints it:
#   help_to_man.sh TOOL NAME VERSION WHAT > NAME.1
# The usage lines at the top become the synopsis, the rest the description.
set -eu
tool=$1 name=$2 version=$3 what=$4
help=$("$tool" --help)
[ -n "$help" ] || { echo "$name --help printed nothing" >&2; exit 1; }
printf '.TH %s 1 "" "%s %s" "User Commands"\n' "$(echo "$name" | tr a-z A-Z)" "$name" "$version"
printf '.SH NAME\n%s \\- %s\n' "$name" "$what"
printf '%s\n' "$help" | awk '
  # roff reads a backslash as an escape and a leading dot or quote as a request.
  function roff(line) { gsub(/\\/, "\\e", line); sub(/^[.'"'"']/, "\\\\\\&&", line); return line }
  NR == 1 && sub(/^[Uu]sage: */, "") { print ".SH SYNOPSIS\n.nf"; print roff($0); usage = 1; next }
  usage && /^       *[^ ]/ { sub(/^ */, ""); print roff($0); next }
  usage || NR == 1 { if (usage) print ".fi"; print ".SH DESCRIPTION\n.nf"; usage = 0 }
  !text && /^ *$/ { next }
  { print roff($0); text = 1 }
  END { print ".fi" }'
