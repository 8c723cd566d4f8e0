# Builds the package: `cmake -D...=... -P build-msi.cmake`, run by the msi targets (CMakeLists.txt
# here). wixl turns zinna.wxs into the package; msibuild then adds what wixl cannot express: the
# conditions that keep the package from taking over a file of the same name that it finds in the
# Windows directory.
# In: WIXL, MSIBUILD, WXS, OUTPUT, VERSION, PRODUCT_CODE, UPGRADE_CODE, CHARACTER_GUID, WALLPAPER_GUID,
#     HELP_LINK, ZINNA_EXE, ZINNA_ICON, ACTIONS_DLL, CHARACTER, WALLPAPER.
foreach(input WIXL MSIBUILD WXS OUTPUT VERSION PRODUCT_CODE UPGRADE_CODE CHARACTER_GUID WALLPAPER_GUID HELP_LINK
              ZINNA_EXE ZINNA_ICON ACTIONS_DLL CHARACTER WALLPAPER)
  if("${${input}}" STREQUAL "")
    message(FATAL_ERROR "build-msi.cmake: ${input} is not given")
  endif()
endforeach()

# wixl takes the files by names relative to the source: they are gathered in one folder with it.
set(staging ${OUTPUT}.files)
file(REMOVE_RECURSE ${staging})
file(MAKE_DIRECTORY ${staging})
file(COPY_FILE ${WXS} ${staging}/zinna.wxs)
file(COPY_FILE ${ZINNA_EXE} ${staging}/zinna.exe)
file(COPY_FILE ${ZINNA_ICON} ${staging}/zinna.ico)
file(COPY_FILE ${ACTIONS_DLL} ${staging}/zinna-msi-actions.dll)
file(COPY_FILE ${CHARACTER} ${staging}/zinna.acs)
file(COPY_FILE ${WALLPAPER} ${staging}/LH1024x768.bmp)

set(unfinished ${OUTPUT}.part)
file(REMOVE ${unfinished})
execute_process(
  COMMAND ${WIXL} --arch x64 --output ${unfinished}
          -D Version=${VERSION} -D ProductCode=${PRODUCT_CODE} -D UpgradeCode=${UPGRADE_CODE}
          -D CharacterGuid=${CHARACTER_GUID} -D WallpaperGuid=${WALLPAPER_GUID} -D HelpLink=${HELP_LINK}
          zinna.wxs
  WORKING_DIRECTORY ${staging}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "wixl failed (${status})")
endif()

# A file in the Windows directory is installed only when no file of its name is there, or when the
# one there is Zinna's own (an older version's, which the upgrade removes first): the uninstall then
# never deletes a file the package did not put there. AppSearch looks for both at the start:
# <STEM>_FOUND is the file's path when the file exists (DrLocator), <STEM>_OURS is set when the
# component is installed already (CompLocator, by the component's GUID, which all versions share):
# by an older version during an upgrade, by this one during the uninstall. Windows evaluates a
# component's condition only when it installs the component; Wine also when it removes it.
set(queries
  "CREATE TABLE `DrLocator` (`Signature_` CHAR(72) NOT NULL, `Parent` CHAR(72), `Path` CHAR(255), `Depth` SHORT PRIMARY KEY `Signature_`, `Parent`, `Path`)"
  "CREATE TABLE `CompLocator` (`Signature_` CHAR(72) NOT NULL, `ComponentId` CHAR(38) NOT NULL, `Type` SHORT PRIMARY KEY `Signature_`)"
  "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('AppSearch', 50)")
function(install_only_where_free component guid file_name stem)
  list(APPEND queries
    "INSERT INTO `Signature` (`Signature`, `FileName`) VALUES ('${component}File', '${file_name}')"
    "INSERT INTO `DrLocator` (`Signature_`, `Path`, `Depth`) VALUES ('${component}File', '[WindowsFolder]', 0)"
    "INSERT INTO `CompLocator` (`Signature_`, `ComponentId`, `Type`) VALUES ('${component}Installed', '${guid}', 1)"
    "INSERT INTO `AppSearch` (`Property`, `Signature_`) VALUES ('${stem}_FOUND', '${component}File')"
    "INSERT INTO `AppSearch` (`Property`, `Signature_`) VALUES ('${stem}_OURS', '${component}Installed')"
    "UPDATE `Component` SET `Condition` = 'NOT ${stem}_FOUND OR ${stem}_OURS' WHERE `Component` = '${component}'")
  set(queries "${queries}" PARENT_SCOPE)
endfunction()
install_only_where_free(Character {${CHARACTER_GUID}} zinna.acs ZINNA_CHARACTER)
install_only_where_free(Wallpaper {${WALLPAPER_GUID}} "LH1024~1.BMP|LH1024x768.bmp" ZINNA_WALLPAPER)

set(arguments)
foreach(query IN LISTS queries)
  list(APPEND arguments -q "${query}")
endforeach()
execute_process(COMMAND ${MSIBUILD} ${unfinished} ${arguments} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "msibuild failed (${status})")
endif()
file(RENAME ${unfinished} ${OUTPUT})
file(REMOVE_RECURSE ${staging})
