# The rig the Windows-side tests run on: its virtual display survives a server that has gone.
add_test(NAME rig_display COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/rig_display.sh 79)
