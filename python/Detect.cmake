# Finds what the Python package needs: the system's interpreter (Debian's,
# which sees the python3-* packages; a python3 earlier on PATH, such as a
# pyenv build, may not), its development headers, NumPy and pybind11.
# Sets GW_PYTHON_FOUND and GW_PYTHON_INSTALL_DIR (relative to the prefix).
if(NOT DEFINED Python_EXECUTABLE AND EXISTS /usr/bin/python3)
  set(Python_EXECUTABLE /usr/bin/python3)
endif()
find_package(Python 3 QUIET COMPONENTS Interpreter Development.Module NumPy)
if(Python_FOUND)
  find_package(pybind11 CONFIG QUIET)
endif()
set(GW_PYTHON_FOUND OFF)
if(Python_FOUND AND pybind11_FOUND)
  set(GW_PYTHON_FOUND ON)
endif()
# Debian's interpreter looks in lib/python3/dist-packages under /usr and in
# lib/python3.X/dist-packages under /usr/local (and other prefixes).
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(GW_PY_DEFAULT_DIR lib/python3/dist-packages)
else()
  set(GW_PY_DEFAULT_DIR lib/python${Python_VERSION_MAJOR}.${Python_VERSION_MINOR}/dist-packages)
endif()
set(GW_PYTHON_INSTALL_DIR ${GW_PY_DEFAULT_DIR} CACHE STRING
    "Where cmake --install puts the glyphwick package, relative to the prefix")
