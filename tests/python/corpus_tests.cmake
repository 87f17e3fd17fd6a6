# The corpus tests whose only native part is parse_check, for the sanitized
# trees, where the module is not built: the interpreter runs the
# comparisons, and every file of the standard library goes through the
# sanitized tool. A sanitizer report ends the tool with exit code 86, which
# no test takes for one of the tool's own results (0, 1 or 2).
function(add_corpus_test module timeout)
  add_test(NAME corpus.${module}
           COMMAND Python::Interpreter -m unittest -v ${module}
           WORKING_DIRECTORY ${CMAKE_CURRENT_LIST_DIR})
  set_tests_properties(corpus.${module} PROPERTIES TIMEOUT ${timeout}
    LABELS corpus PROCESSORS 4
    ENVIRONMENT "TRELK_PARSE_CHECK=$<TARGET_FILE:parse_check>;PYTHONDONTWRITEBYTECODE=1;ASAN_OPTIONS=exitcode=86;UBSAN_OPTIONS=exitcode=86:print_stacktrace=1;LSAN_OPTIONS=exitcode=86;TSAN_OPTIONS=exitcode=86")
endfunction()

add_corpus_test(test_lexer_tokenize 3600)
add_corpus_test(test_string_decoding_corpus 3600)
add_corpus_test(test_parse_stdlib 3600)
add_corpus_test(test_parse_recovery 3600)
