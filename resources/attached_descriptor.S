/* The descriptor through which the launcher reaches its attached data: the
   block's address, then its length L. It has a read-only section of its own
   so that the packer finds it by name. As linked it points at an empty
   placeholder, so that the bare image stops with the missing-header message;
   the packer points it at the block section that it appends after every
   other section, and sets L. The address is an absolute one, so the image's
   base relocations cover it and the loader adjusts it wherever it places
   the image. */
    .section .attdesc,"dr"
    .p2align 3
    .globl attached_block
attached_block:
    .quad attached_placeholder
    .quad 0
attached_placeholder:
    .quad 0
