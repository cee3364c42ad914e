#!/usr/bin/env bash
# Installs what is missing, builds, and shows what the command-line tool can do.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh
build/quorvane-cli --help
