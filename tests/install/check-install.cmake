message(STATUS "SKIP: not written yet")
