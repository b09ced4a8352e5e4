#!/bin/sh
# Renders a program's --help and --version as its manual page, compressed for the package.
#   manpage.sh PROGRAM SECTION "WHAT IT IS" OUTPUT.gz
set -eu
program=$1 section=$2 description=$3 output=$4
page=$(mktemp)
trap 'rm -f "$page"' EXIT
# C.UTF-8 keeps the Portuguese text as it is; the headings help2man writes are put in Portuguese.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(date -r "$program" +%s)} \
    help2man --no-info --locale=C.UTF-8 --section="$section" --name="$description" \
    --manual="EDI - Data Interchange" "$program" |
    sed -e 's/^\.SH NAME$/.SH NOME/' -e 's/^\.SH DESCRIPTION$/.SH DESCRIÇÃO/' >"$page"
gzip -9n <"$page" >"$output"
