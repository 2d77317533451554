# The layers of the tree, from the bottom up. A layer may use only itself and those
# listed before it; the folders are added to the build in this order and the layering
# test (tools/layering) refuses an include of a higher layer from a lower one, as well
# as a folder of platform/ or src/ that is in no list.

# Folders of platform/ (stand-ins for the host system).
set(ZID_PLATFORM_LAYERS runtime foundation security net device ui uiwindow web media ads)
# Modules of src/.
set(ZID_MODULES QXFoundation RuzEzo RudoreVaz QXUIKit QXStyling QXWidgets QXNetworking QXCorePlayer QXMediaPlayer QXSDKPlayer)
# Folders of a module built as a library of their own below the rest of it; each sits
# just below its module.
set(ZID_MODULE_PARTS QXFoundation/Log)
# Folders of a module built as a library of their own above the rest of it (the parts
# bound to the interface toolkit); each sits just above its module.
set(ZID_MODULE_UPPER_PARTS RuzEzo/Interface RudoreVaz/Controls)
# Units that may not include the interface toolkit (platform/ui) although it is a lower
# layer: the foundation, and the signal and task libraries proper, so a host or module
# that uses them without views links no toolkit.
set(ZID_TOOLKIT_FREE_UNITS QXFoundation/Log QXFoundation RuzEzo RudoreVaz)

# The src units for the layering check: each module between its lower and upper parts.
set(ZID_SRC_UNITS)
foreach(module ${ZID_MODULES})
  foreach(part ${ZID_MODULE_PARTS})
    if(part MATCHES "^${module}/")
      list(APPEND ZID_SRC_UNITS ${part})
    endif()
  endforeach()
  list(APPEND ZID_SRC_UNITS ${module})
  foreach(part ${ZID_MODULE_UPPER_PARTS})
    if(part MATCHES "^${module}/")
      list(APPEND ZID_SRC_UNITS ${part})
    endif()
  endforeach()
endforeach()
