#!/usr/bin/env bash
# Builds what the test command tests, as it does (build/test, and unless
# PINNIT_TEST_SCOPE=gcc, build/test-clang and build/test-msvc), and runs no test.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

pinnit_setup
pinnit_build_tests
