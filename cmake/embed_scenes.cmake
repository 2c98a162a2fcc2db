# Writes OUT, a C++ source holding the scene files FILES (a list) as
# scenes::SceneSource entries named "scenes/NAME", in the order given.
# Run with cmake -P at build time, so that an edit rebuilds it.
set(body "")
foreach(file IN LISTS FILES)
    file(READ "${file}" text)
    get_filename_component(name "${file}" NAME)
    string(APPEND body "    {\"scenes/${name}\", R\"scene_file(${text})scene_file\"},\n")
endforeach()
file(WRITE "${OUT}.new" "// Made by cmake/embed_scenes.cmake from show/default_scenes/: do not edit.\n"
     "#include \"show/default_scenes.h\"\n\n"
     "const std::vector<scenes::SceneSource>& defaultSceneFiles() {\n"
     "    static const std::vector<scenes::SceneSource> files = {\n${body}    };\n"
     "    return files;\n}\n")
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
