# The Windows program and its end-to-end tests.
target_compile_options(horavel_core PRIVATE -Os)
