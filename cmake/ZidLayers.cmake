# The layers of the tree, from the bottom up. A layer may use only itself and those
# listed before it; the folders are added to the build in this order and the layering
# test (tools/layering) refuses an include of a higher layer from a lower one, as well
# as a folder of platform/ or src/ that is in no list.

# Folders of platform/ (stand-ins for the host system).
set(ZID_PLATFORM_LAYERS runtime foundation security net device ui web media ads)
# Modules of src/.
set(ZID_MODULES QXFoundation RuzEzo RudoreVaz QXUIKit QXStyling QXNetworking QXCorePlayer QXMediaPlayer QXSDKPlayer)
# Folders of a module built as a library of their own below the rest of it; each sits
# just below its module.
set(ZID_MODULE_PARTS QXFoundation/Log)

# The src units for the layering check: each module preceded by its parts.
set(ZID_SRC_UNITS)
foreach(module ${ZID_MODULES})
  foreach(part ${ZID_MODULE_PARTS})
    if(part MATCHES "^${module}/")
      list(APPEND ZID_SRC_UNITS ${part})
    endif()
  endforeach()
  list(APPEND ZID_SRC_UNITS ${module})
endforeach()
