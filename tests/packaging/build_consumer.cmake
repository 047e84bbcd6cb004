# cmake -P script: install the build (BUILD_DIR) into a scratch prefix, or
# extract the Debian packages (DEB_DIR) into a scratch root, then build the
# consumer against it through CMake and through pkg-config, run it, and run
# the installed programs.
file(REMOVE_RECURSE ${WORK_DIR})
if(DEFINED DEB_DIR)
  set(prefix ${WORK_DIR}/root/usr)
  set(libdir ${LIBDIR})
else()
  set(prefix ${WORK_DIR}/prefix)
  set(libdir lib)
endif()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}")
  endif()
endfunction()

if(DEFINED DEB_DIR)
  file(GLOB debs ${DEB_DIR}/*.deb)
  list(LENGTH debs count)
  if(NOT count EQUAL 3)
    message(FATAL_ERROR "expected the three packages in ${DEB_DIR}, found: ${debs}")
  endif()
  file(MAKE_DIRECTORY ${WORK_DIR}/root)
  foreach(deb ${debs})
    run(dpkg-deb -x ${deb} ${WORK_DIR}/root)
  endforeach()
  # Packaged programs find libCore on the system's path; here it is the root's.
  set(ENV{LD_LIBRARY_PATH} ${prefix}/${libdir})
else()
  run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
endif()
foreach(f ${libdir}/libCore.so include/Core/profile.h include/Core/kaglobal.h
          include/Core/core_export.h include/Core/coreversion.h ${libdir}/cmake/Core/CoreConfig.cmake
          bin/dbupdate share/man/man1/dbupdate.1.gz bin/curveview share/Core/translations/core_en.qm
          ${libdir}/pkgconfig/Core.pc share/Core/schema/profile.sql share/Core/schema/data.sql share/Core/schema/qc.sql)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/build
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
file(MAKE_DIRECTORY ${WORK_DIR}/run)
execute_process(COMMAND ${WORK_DIR}/build/consumer
  WORKING_DIRECTORY ${WORK_DIR}/run RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "consumer failed (${rc}): ${out} ${err}")
endif()
message(STATUS "consumer: ${out}")

# The installed dbupdate: its options and a dry run on an empty directory.
file(MAKE_DIRECTORY ${WORK_DIR}/empty)
execute_process(COMMAND ${prefix}/bin/dbupdate --version RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out MATCHES "^dbupdate [0-9]+\\.[0-9]+\\.[0-9]+")
  message(FATAL_ERROR "installed dbupdate --version: ${rc} ${out}")
endif()
execute_process(COMMAND ${prefix}/bin/dbupdate -C ${WORK_DIR}/empty --check
  RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out MATCHES "holds no installation")
  message(FATAL_ERROR "installed dbupdate --check: ${rc} ${out}")
endif()
file(GLOB created ${WORK_DIR}/empty/*)
if(created)
  message(FATAL_ERROR "dbupdate --check created files: ${created}")
endif()

# The installed curveview finds the installed libCore by itself.
execute_process(COMMAND ${prefix}/bin/curveview --version RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out MATCHES "^curveview ")
  message(FATAL_ERROR "installed curveview --version: ${rc} ${out} ${err}")
endif()

# The same application built through pkg-config instead of CMake.
find_program(PKG_CONFIG pkg-config REQUIRED)
set(ENV{PKG_CONFIG_PATH} ${prefix}/${libdir}/pkgconfig)
execute_process(COMMAND ${PKG_CONFIG} --cflags --libs Core RESULT_VARIABLE rc OUTPUT_VARIABLE flags
  OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "pkg-config --cflags --libs Core failed")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
# Qt asks applications for position-independent code.
run(c++ -std=c++17 -fPIC ${CONSUMER_DIR}/main.cpp ${CONSUMER_DIR}/prefixed.cpp -o ${WORK_DIR}/consumer-pc ${flags}
    -Wl,-rpath,${prefix}/${libdir})
execute_process(COMMAND ${WORK_DIR}/consumer-pc WORKING_DIRECTORY ${WORK_DIR}/run RESULT_VARIABLE rc
  OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "consumer built with pkg-config failed (${rc}): ${out} ${err}")
endif()
message(STATUS "consumer (pkg-config): ${out}")
