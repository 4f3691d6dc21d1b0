# The rig the Windows-side tests run on: its virtual display survives a server that has gone.
# Its own display number (79 unless STARWRIGHT_RIG_DISPLAY says otherwise), so that it never
# kills a server another run is using. It checks the rig, not the product: one run is enough.
if(STARWRIGHT_WINDOWS_BITS EQUAL 64)
  return()
endif()
add_test(NAME rig_display COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/rig_display.sh)
