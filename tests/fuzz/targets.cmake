# The libFuzzer targets: name, then the seconds each runs for under scripts/test comes from SELVO_FUZZ_SECONDS.
# Each name is a source file tests/fuzz/<name>.cpp that defines LLVMFuzzerTestOneInput.
set(SELVO_FUZZ_TARGETS fuzz_profile fuzz_listener)
