#!/usr/bin/env bash
# Sets everything up and runs the main job: a demonstration receipt printed through the
# control object, the COM layer, the service object and a TCP/IP port to the virtual
# printer on loopback, rendered to build/demo/receipt.png.
# Extra arguments go to the program: --printer LOGICAL-NAME or --tcp ADDRESS[:PORT]
# print to a real printer instead.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
exec build/tools/zanth-demo/zanth-demo --out build/demo "$@"
