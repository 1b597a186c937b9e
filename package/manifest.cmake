# Writes the package manifest that the program carries: for each file the package build
# makes, "<sha256> <size> <path relative to the program's folder>" with backslashes, CR LF.
#   cmake -DDIST_DIR=... -DLIST=<file of relative paths> -DOUTPUT=... -P manifest.cmake
file(STRINGS "${LIST}" files)
list(SORT files)
set(text "")
foreach(file IN LISTS files)
  file(SHA256 "${DIST_DIR}/${file}" hash)
  file(SIZE "${DIST_DIR}/${file}" size)
  string(REPLACE "/" "\\" path "${file}")
  string(APPEND text "${hash} ${size} ${path}\r\n")
endforeach()
# Rewritten only when it changes, so that the program is not relinked for nothing.
file(WRITE "${OUTPUT}.new" "${text}")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
