#!/bin/sh
# The command on the PATH; the program lives in its own folder beside its converter.
exec /usr/lib/pagegrab/pagegrab "$@"
