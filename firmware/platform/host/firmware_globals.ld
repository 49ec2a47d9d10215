/* The host-compiled firmware's globals, gathered in two ranges of their own so that the host core
   can give every new board fresh firmware state: the initialised data is kept as loaded and put
   back, the zero-initialised data cleared (sim/host_core.cpp). Added to the linker's own script. */
SECTIONS
{
    .panel_firmware_data :
    {
        __panel_firmware_data_start = .;
        *libpanel_fw_host.a:*(.data .data.* .gnu.linkonce.d.*)
        __panel_firmware_data_end = .;
    }
}
INSERT AFTER .data;
SECTIONS
{
    .panel_firmware_bss (NOLOAD) :
    {
        __panel_firmware_bss_start = .;
        *libpanel_fw_host.a:*(.bss .bss.* COMMON)
        __panel_firmware_bss_end = .;
    }
}
INSERT AFTER .bss;
