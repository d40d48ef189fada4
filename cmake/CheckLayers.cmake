# Checks that the layers keep to the link graph: nothing in engine/ or platform/ includes a
# header of Qt's GUI modules or anything of toolkit/, ui/ or app/, and nothing in toolkit/
# includes anything of ui/ or app/. Run as a test:
#   cmake -DSOURCE_DIR=<source root> -DQT_HEADERS=<folder holding QtCore, QtGui, ...> -P CheckLayers.cmake
# Fails with the list of offending lines.

set(_gui_modules QtGui QtWidgets QtSvg QtSvgWidgets QtPdf QtPdfWidgets QtMultimedia
    QtMultimediaWidgets QtOpenGL QtOpenGLWidgets QtPrintSupport QtQuick QtQml)

# True (in the result variable) when the angle-bracket include names a header of a GUI module:
# "QtWidgets/QLabel" by its module, "QLabel" by where Qt keeps it.
function(_is_gui_header header result)
    set(${result} FALSE PARENT_SCOPE)
    foreach(module IN LISTS _gui_modules)
        if(header MATCHES "^${module}/" OR header STREQUAL module)
            set(${result} TRUE PARENT_SCOPE)
            return()
        endif()
        if(QT_HEADERS AND EXISTS "${QT_HEADERS}/${module}/${header}")
            set(${result} TRUE PARENT_SCOPE)
            return()
        endif()
    endforeach()
endfunction()

set(_offences "")
foreach(folder engine platform toolkit)
    file(GLOB_RECURSE _files "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
    if(folder STREQUAL "toolkit")
        set(_forbidden_folders "ui|app")
    else()
        set(_forbidden_folders "toolkit|ui|app")
    endif()
    foreach(file IN LISTS _files)
        file(STRINGS "${file}" _includes REGEX "^[ \t]*#[ \t]*include")
        foreach(line IN LISTS _includes)
            if(line MATCHES "#[ \t]*include[ \t]*\"(${_forbidden_folders})/")
                list(APPEND _offences "${file}: ${line}")
            elseif(NOT folder STREQUAL "toolkit" AND line MATCHES "#[ \t]*include[ \t]*<([^>]+)>")
                _is_gui_header("${CMAKE_MATCH_1}" _gui)
                if(_gui)
                    list(APPEND _offences "${file}: ${line}")
                endif()
            endif()
        endforeach()
    endforeach()
endforeach()

if(_offences)
    list(JOIN _offences "\n  " _text)
    message(FATAL_ERROR "Includes that cross the layers:\n  ${_text}")
endif()
