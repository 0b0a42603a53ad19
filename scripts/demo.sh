#!/usr/bin/env bash
# The program's main job. Until the download engine lands, this installs what is needed, builds everything
# and says what exists so far.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"${JOBS:-2}"

cat <<'TXT'

Spindrel is built (build/). What works so far: the configuration file, the activity and traffic logs,
the platform layer and the connection to a news server (see the tests under tests/).
Coming next: the NNTP commands, decoding, the parts store, then the download engine with
spindrel-console, which this command will run against a private news server.
TXT
