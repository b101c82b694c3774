#!/bin/sh
# The example application: greets whoever runs it.
echo "Hello from Tidewater ${1:-friend}!"
