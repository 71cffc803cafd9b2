#!/usr/bin/env bash
# Runs the sleep and network tests of a test program on a private system bus where dbusmock
# plays logind and NetworkManager. Usage: system-bus.sh <test program>
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/e2e/workdir.sh"
. "$(dirname "${BASH_SOURCE[0]}")/e2e/mock-system-bus.sh"
QB_MOCK_SYSTEM_BUS=1 "$1" --gtest_filter='SleepAndNetwork.*'
