# Installs the build into a fresh prefix, runs the installed tool, and builds
# and runs a host program against the installed package, once through
# find_package(Glyphwick) and once through pkg-config.
# Variables: BUILD (build tree), SOURCE (source tree), WORK (scratch folder),
# FLAGS (extra compiler and linker flags), CXX (the compiler).
cmake_minimum_required(VERSION 3.25)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

function(expect text)
  string(FIND "${out}" "${text}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "expected '${text}' in:\n${out}")
  endif()
endfunction()

set(prefix ${WORK}/prefix)
file(REMOVE_RECURSE ${WORK})
run(${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix})

foreach(f include/glyphwick/Glyphwick.h include/glyphwick/DVImageProcessor.h
          include/glyphwick/DVImageCodecs.h include/glyphwick/GlyphwickExport.h
          include/glyphwick/GlyphwickMrz.h include/glyphwick/GlyphwickBarcodes.h
          include/glyphwick/GlyphwickLoad.h include/glyphwick/GlyphwickLines.h
          include/glyphwick/GlyphwickBudget.h include/glyphwick/GlyphwickImageView.h
          lib/cmake/Glyphwick/GlyphwickConfig.cmake lib/cmake/Glyphwick/GlyphwickTargets.cmake
          lib/pkgconfig/glyphwick.pc lib/libglyphwick.PAT lib/glyphwick/OpenJPEG_32.dll
          lib/glyphwick/DVWSQLib.dll bin/glyphwick)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
file(GLOB libs ${prefix}/lib/libglyphwick.so*)
if(NOT libs)
  message(FATAL_ERROR "the library is not installed")
endif()

# The installed tool runs from its own place and finds its library.
run(${prefix}/bin/glyphwick --version)
expect("glyphwick 2.04.005")
run(${prefix}/bin/glyphwick info ${SOURCE}/samples/td1-card.png)
expect("1011 x 638")
# The plug-ins are found where they were installed, beside the library, and
# not in the build tree: JPEG 2000 (made by ImageMagick) and WSQ load.
run(convert ${SOURCE}/samples/td1-card.png ${WORK}/card.jp2)
run(${prefix}/bin/glyphwick info ${WORK}/card.jp2)
expect("1011 x 638")
run(${prefix}/bin/glyphwick info ${SOURCE}/tests/data/wsq/a_ridges_256x256.br075.wsq)
expect("256 x 256")

# The host reads with the installed default pattern file beside the library.
set(sample ${SOURCE}/samples/td1-card.png)
set(rect 40 485 990 532)  # the card's second zone line
set(expected "9205174M3001019UTO<<<<<<<<<<<6")
set(patterns "")

# find_package(Glyphwick)
run(${CMAKE_COMMAND} -S ${SOURCE}/tests/tool/host -B ${WORK}/host-cmake -G Ninja
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX} "-DCMAKE_CXX_FLAGS=${FLAGS}"
    "-DCMAKE_EXE_LINKER_FLAGS=${FLAGS}" -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK}/host-cmake)
run(${WORK}/host-cmake/host ${sample} ${rect} ${patterns})
expect("${expected}")
# A camera JPEG (Exif only, stored on its side) and the host's own BGR buffer
# read in place through gw::ImageView.
set(camera ${SOURCE}/tests/data/camera-exif6.jpg)
run(${WORK}/host-cmake/view_host ${camera})
expect("${expected}")
expect("exif 6, valid, view agrees with the loaded image, lines 1")

# pkg-config
set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
run(pkg-config --cflags --libs glyphwick)
separate_arguments(pc UNIX_COMMAND "${out}")
run(pkg-config --variable=libdir glyphwick)
string(STRIP "${out}" libdir)
separate_arguments(flags UNIX_COMMAND "${FLAGS}")
run(${CXX} -std=c++20 ${flags} ${SOURCE}/tests/tool/host/host.cpp ${pc} -Wl,-rpath,${libdir}
    -o ${WORK}/host-pc)
run(${WORK}/host-pc ${sample} ${rect} ${patterns})
expect("${expected}")
# Without -rpath the library is found through LD_LIBRARY_PATH (README).
run(${CXX} -std=c++20 ${flags} ${SOURCE}/tests/tool/host/view_host.cpp ${pc} -o ${WORK}/view-pc)
run(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${libdir} ${WORK}/view-pc ${camera})
expect("exif 6, valid, view agrees with the loaded image, lines 1")
file(REMOVE_RECURSE ${WORK})
