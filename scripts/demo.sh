#!/usr/bin/env bash
# Demo exchange between two installations through the reference central server.
echo "demo: not ready yet (the application shell is still being built)"
