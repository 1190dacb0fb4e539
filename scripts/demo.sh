#!/usr/bin/env bash
# Sets everything up and runs the main job: a demonstration receipt printed through the
# control object, the service object and a port to the virtual printer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
if [ -x build/tools/zanth-demo ]; then
  exec build/tools/zanth-demo "$@"
fi
echo "The demonstration receipt is not available yet: the text printing path is still being built." >&2
exit 1
