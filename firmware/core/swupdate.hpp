#pragma once

// Disables every interrupt source and enters the boot loader through its update entry.
void SoftwareUpdateBegin();
