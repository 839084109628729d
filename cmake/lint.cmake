# The lint of the project's own sources and scripts (label lint): format,
# static analysis, shellcheck. Included with the tests, which it runs among.
file(GLOB_RECURSE project_sources CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/daemon/*.cpp ${PROJECT_SOURCE_DIR}/daemon/*.h
  ${PROJECT_SOURCE_DIR}/os/*.cpp ${PROJECT_SOURCE_DIR}/os/*.h
  ${PROJECT_SOURCE_DIR}/services/*.cpp ${PROJECT_SOURCE_DIR}/services/*.h
  ${PROJECT_SOURCE_DIR}/wan/*.cpp ${PROJECT_SOURCE_DIR}/wan/*.h
  ${PROJECT_SOURCE_DIR}/devutil/*.cpp ${PROJECT_SOURCE_DIR}/devutil/*.h
  ${PROJECT_SOURCE_DIR}/sandbox/*.cpp ${PROJECT_SOURCE_DIR}/sandbox/*.h)
# The benchmark is built on demand as a project of its own, so it has no
# compile commands here for clang-tidy; format and cppcheck still cover it.
file(GLOB bench_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/bench/*.cpp)
# The emulated router's guest helpers are C, built by router/build alone.
file(GLOB router_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/router/*.c ${PROJECT_SOURCE_DIR}/router/*.h)
file(GLOB_RECURSE test_sources CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/tests/*.cpp ${PROJECT_SOURCE_DIR}/tests/*.h)
set(project_units ${project_sources})
list(FILTER project_units INCLUDE REGEX "\\.cpp$")

add_test(NAME format COMMAND clang-format --dry-run -Werror ${project_sources} ${test_sources} ${bench_sources}
                             ${router_sources})
add_test(NAME tidy COMMAND clang-tidy --quiet -p ${PROJECT_BINARY_DIR} ${project_units})
add_test(NAME cppcheck COMMAND cppcheck --quiet --error-exitcode=1 --std=c++17 --language=c++
  --enable=warning,style,performance,portability --inline-suppr
  --suppress=missingIncludeSystem -I ${PROJECT_SOURCE_DIR} ${project_units} ${bench_sources})
add_test(NAME cppcheck_c COMMAND cppcheck --quiet --error-exitcode=1 --std=c11 --language=c
  --enable=warning,style,performance,portability --suppress=missingIncludeSystem ${router_sources})

# Every shell script of the project, known by its first line.
add_test(NAME shellcheck WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} COMMAND sh -c
  "grep -rlIm1 -E '^(#!.*(/sh|bash)( |$)|# shellcheck shell=)' .ci bench packaging router sandbox tests tools |
   xargs shellcheck -x")

set_tests_properties(format tidy cppcheck cppcheck_c shellcheck PROPERTIES LABELS lint)
