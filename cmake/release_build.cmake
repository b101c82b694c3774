# What a shipped program must be, on every program of the build: the same
# bytes from any build folder, and the protections a reviewer reads from the
# file first. Included before any target is made, so that the tests run the
# code as it ships.
option(VANTREL_HARDEN "Stack protector, fortified C library calls, hardened linking" ON)

# No source or build path in a program, through debug information or
# __FILE__: the build folder maps last, as it may lie inside the sources.
# A date or time macro would make every build differ, so it is an error.
add_compile_options(
  $<$<COMPILE_LANGUAGE:CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.>
  $<$<COMPILE_LANGUAGE:CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=build>
  $<$<COMPILE_LANGUAGE:CXX>:-Wdate-time>)
if(WIN32)
  # The PE header's time stamp is 0 instead of the time of the link.
  add_link_options(-Wl,--no-insert-timestamp)
  # The oldest Windows the launcher runs on, Windows XP (5.1; its 64-bit
  # edition is 5.2), as its header states it: what later Windows added is
  # looked up while running, never imported.
  set(VANTREL_OLDEST_WINDOWS_MINOR 1)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(VANTREL_OLDEST_WINDOWS_MINOR 2)
  endif()
  set(VANTREL_OLDEST_WINDOWS_LINK_OPTIONS
      -Wl,--major-subsystem-version,5 -Wl,--minor-subsystem-version,${VANTREL_OLDEST_WINDOWS_MINOR}
      -Wl,--major-os-version,5 -Wl,--minor-os-version,${VANTREL_OLDEST_WINDOWS_MINOR})
endif()

if(VANTREL_HARDEN)
  # Fortified calls need an optimised build; the C library warns otherwise.
  add_compile_options(
    $<$<COMPILE_LANGUAGE:CXX>:-fstack-protector-strong>
    $<$<AND:$<COMPILE_LANGUAGE:CXX>,$<NOT:$<CONFIG:Debug>>>:-U_FORTIFY_SOURCE>
    $<$<AND:$<COMPILE_LANGUAGE:CXX>,$<NOT:$<CONFIG:Debug>>>:-D_FORTIFY_SOURCE=2>)
  # On Windows the guard and the failure routine come from the platform's
  # own stack_guard_win32.cpp, found before libssp would be.
  add_link_options(-fstack-protector-strong)
  if(WIN32)
    # Moved at every start (the relocations kept for it), never run from
    # data. 32-bit code built here registers no SEH handler (GCC unwinds
    # through DWARF tables), so the image says so and no handler in it can
    # ever be called; 64-bit images unwind through their own tables instead.
    add_link_options(-Wl,--dynamicbase -Wl,--enable-reloc-section -Wl,--nxcompat)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
      add_link_options(-Wl,--high-entropy-va)
    else()
      add_link_options(-Wl,--no-seh)
    endif()
  else()
    set(CMAKE_POSITION_INDEPENDENT_CODE ON)
    include(CheckPIESupported)
    check_pie_supported()
    add_link_options(-Wl,-z,relro,-z,now)
  endif()
endif()

# The one place the version is stated is project(); the version resource,
# the manifest and mkmedium --version take it from this header.
set(VANTREL_FILE_VERSION
    "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
set(VANTREL_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/vantrel_version.h.in
               ${VANTREL_GENERATED_DIR}/vantrel_version.h @ONLY)
