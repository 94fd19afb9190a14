# Unpacks the XML corpus, real-world documents kept in the repository as one
# compressed archive (tests/data/corpus/documents.tar.xz, a tenth of their
# size), into SECNATIVE_CORPUS_DIR in the build tree, and checks every
# document against its checksum. A missing archive, a missing document or a
# changed one stops the configure step: the tests and benchmarks that read
# them must never run on something else, or be skipped.
set(secnative_corpus_archive ${PROJECT_SOURCE_DIR}/tests/data/corpus/documents.tar.xz)
set(SECNATIVE_CORPUS_DIR ${PROJECT_BINARY_DIR}/corpus)

# name and SHA-256 of each document (as in tests/data/corpus/README.md)
set(secnative_corpus_documents
    freedesktop.org.xml d5826a6325c2602981d53a341543f174a8fde073196c1c750cb8578552f4fff4
    launchpad-wadl.xml db9fefb296fb188aa50ef23f6f0abd47fdad4c33eb4d4863dc116eb985275329
    xkb-rules.xml 53bbaa36c33561cd8c25465e4d70188199cd516f256d5bcdd790184ae6dc8c71)

if(NOT EXISTS ${secnative_corpus_archive})
    message(FATAL_ERROR "The XML corpus ${secnative_corpus_archive} is missing "
                        "(see tests/data/corpus/README.md)")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${secnative_corpus_archive})
file(REMOVE_RECURSE ${SECNATIVE_CORPUS_DIR})
file(ARCHIVE_EXTRACT INPUT ${secnative_corpus_archive} DESTINATION ${SECNATIVE_CORPUS_DIR})
while(secnative_corpus_documents)
    list(POP_FRONT secnative_corpus_documents document expected)
    set(path ${SECNATIVE_CORPUS_DIR}/${document})
    if(NOT EXISTS ${path})
        message(FATAL_ERROR "The XML corpus document ${document} is not in "
                            "${secnative_corpus_archive} (see tests/data/corpus/README.md)")
    endif()
    file(SHA256 ${path} actual)
    if(NOT actual STREQUAL expected)
        message(FATAL_ERROR "The XML corpus document ${document} in ${secnative_corpus_archive} "
                            "has changed: SHA-256 ${actual}, expected ${expected}")
    endif()
endwhile()
