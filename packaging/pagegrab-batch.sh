#!/bin/sh
# The batch command on the PATH; it lives beside Pagegrab, whose log it shares.
exec /usr/lib/pagegrab/pagegrab-batch "$@"
