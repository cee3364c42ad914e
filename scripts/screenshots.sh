#!/usr/bin/env bash
# Builds, then shows the real window under Xvfb against the bundled marketplace
# simulator: adds two tasks through the dialogs, runs them, and saves pictures of the main
# window with live rows, the add-task dialog, an error message with its details, the
# directory page with two category files made from the simulator's companies, the task
# list with its keywords, the add dialog after a failed count fetch, a failed export, the
# save dialog and its file types, the user guide, the merge dialog with its summary, a search
# across tasks and the menus with their keys into docs/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
out=$PWD/docs/screenshots
mkdir -p "$out"
QUORVANE_SCREENSHOT_DIR=$out QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1280x800x24" \
  build/tests/test_ui --gtest_filter='*Screenshots.*' --gtest_also_run_disabled_tests
ls -l "$out"
