#!/usr/bin/env bash
# Checks that every user-visible text can be translated: lupdate extracts the
# texts of the product's folders into a throwaway file in build/ and must
# report no problem, tr() is never given a variable, and a few known texts of
# each folder must be among those extracted.
set -euo pipefail
cd "$(dirname "$0")/.."

folders=(controller dbmanager serverconfig database settings sql servicecontrol resources)
ts=build/translations-check.ts
mkdir -p build
rm -f "$ts"

failed=0
# lupdate reports problems as extra lines ("Cannot invoke tr() like this",
# "Discarding unconsumed meta data", "Class '...' lacks Q_OBJECT macro").
if ! output=$(lupdate -no-obsolete -locations none "${folders[@]}" -ts "$ts" 2>&1); then
    echo "$output"
    echo "check-translations: lupdate failed"
    exit 1
fi
problems=$(echo "$output" | grep -vE "^(Scanning directory '.*'\.\.\.|Updating '.*'\.\.\.|    Found [0-9]+ source text\(s\).*)$" || true)
if [ -n "$problems" ]; then
    echo "$problems"
    echo "check-translations: lupdate reported the problems above"
    failed=1
fi

# lupdate cannot extract a text handed to tr() in a variable.
if grep -rnE '\btr\(\s*[A-Za-z_]' --include='*.cpp' --include='*.h' "${folders[@]}"; then
    echo "check-translations: tr() needs a literal (mark table texts with QT_TRANSLATE_NOOP)"
    failed=1
fi

# One or two texts of every folder that shows any, including a table text and
# a .ui text.
known=(
    "Veltrix Server Controller"                          # controller: balloon title
    "Veltrix Server has stopped"                         # controller: balloon
    "The database %1 does not exist yet. %2 creates it." # controller: command line
    "it must be upgraded, or does not exist yet"         # controller: exit code table
    "Invalid SMTP Settings"                              # serverconfig: message box
    "Select Certificate File"                            # serverconfig: file dialog
    "Auto-Add Devices to Database"                       # serverconfig: .ui
    "Upgrade Database"                                   # dbmanager
    "Manage Connections"                                 # dbmanager
    "Database Version %1, Software Library Version %2."  # database
    "Information"                                        # settings: event level
    "No service executable given"                        # servicecontrol
)
for text in "${known[@]}"; do
    if ! grep -qF "<source>$text</source>" "$ts"; then
        echo "check-translations: \"$text\" is not among the extracted texts"
        failed=1
    fi
done

if [ "$failed" != 0 ]; then
    exit 1
fi
echo "check-translations: $(grep -c '<source>' "$ts") texts extracted, no problems"
