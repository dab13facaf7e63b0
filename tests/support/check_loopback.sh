#!/bin/sh
# Fails when a test, benchmark or fuzz target writes a loopback address of its own instead of taking it
# from tests/support/loopback.h, where the compiler checks that no two are the same. Network forms
# (127.0.0.0/8) and invalid texts (127.0.0.300) are not addresses and may stand anywhere.
#   check_loopback.sh SOURCE_DIR
cd "${1:?usage: check_loopback.sh SOURCE_DIR}" || exit 2
octet='(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])'
found=$(grep -rnE "127\.$octet\.$octet\.$octet([^0-9/]|\$)|0[xX]7[fF][0-9a-fA-F]{6}([^0-9a-fA-F]|\$)" \
  tests bench fuzz --include='*.cpp' --include='*.h' | grep -v '^tests/support/loopback\.h:')
if [ -n "$found" ]; then
  echo "loopback addresses outside tests/support/loopback.h:"
  echo "$found"
  exit 1
fi
echo "every loopback address comes from tests/support/loopback.h"
