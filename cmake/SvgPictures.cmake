# okukipo_render_svg(SVG PNG WIDTH HEIGHT)
# Renders a drawing to a PNG of the given pixel size at build time (with
# okukipo_svgtopng, built from resources/tools), so that only the drawings'
# text is kept under version control.
function(okukipo_render_svg svg png width height)
    add_custom_command(OUTPUT "${png}"
        # Qt's font and screen caches outlive the tool; a sanitized build must not count them.
        COMMAND "${CMAKE_COMMAND}" -E env ASAN_OPTIONS=detect_leaks=0
                $<TARGET_FILE:okukipo_svgtopng> "${svg}" "${png}" ${width} ${height}
        DEPENDS okukipo_svgtopng "${svg}" VERBATIM)
endfunction()
