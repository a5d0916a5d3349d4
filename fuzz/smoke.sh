#!/usr/bin/env bash
# A few seconds of each fuzz target: the smoke run that ./run test makes.
exec "$(dirname "${BASH_SOURCE[0]}")/run.sh" "${FUZZ_SMOKE_SECONDS:-5}"
