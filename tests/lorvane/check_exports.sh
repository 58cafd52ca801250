#!/bin/sh
# Each library file must export exactly the reader API and nothing else of ours.
expected="HID_Close HID_Init HID_READ HID_SetMessagePump HID_WRITE RF_Antenna_Sta RF_Anticoll RF_COS RF_Debit RF_Init_Type RF_Request RF_Reset RF_Select RF_authentication RF_increment RF_initval RF_read RF_readval RF_write"
status=0
for lib in "$@"; do
  actual=$(nm -D --defined-only "$lib" | awk '{print $NF}' | sort | tr '\n' ' ' | sed 's/ $//')
  want=$(echo "$expected" | tr ' ' '\n' | sort | tr '\n' ' ' | sed 's/ $//')
  if [ "$actual" != "$want" ]; then
    echo "$lib exports:"; echo "  $actual"; echo "expected:"; echo "  $want"
    status=1
  fi
done
exit $status
