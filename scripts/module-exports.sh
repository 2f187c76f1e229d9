#!/usr/bin/env bash
# The entry points the module exports, one per line.
grep -ho 'QW_EXPORT [^(]*QW_CALL [A-Za-z]*' "$(dirname "$0")/../plugin/module/ModuleExports.cpp" | awk '{print $NF}'
