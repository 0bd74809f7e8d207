# The sandboxed host's whole-run tests are registered here.
