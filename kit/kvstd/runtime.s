# Entry points of the runtime. The runtime binds each stub to its own
# function, by the call number in %eax, when it loads the program.
	.text
	.p2align 4
	.globl	kvScreenWidth
	.type	kvScreenWidth, @function
kvScreenWidth:
	movl	$1, %eax
	ret
	.size	kvScreenWidth, .-kvScreenWidth
	.p2align 4
	.globl	kvScreenHeight
	.type	kvScreenHeight, @function
kvScreenHeight:
	movl	$2, %eax
	ret
	.size	kvScreenHeight, .-kvScreenHeight
	.p2align 4
	.globl	kvFillRect
	.type	kvFillRect, @function
kvFillRect:
	movl	$3, %eax
	ret
	.size	kvFillRect, .-kvFillRect
	.p2align 4
	.globl	kvDrawText
	.type	kvDrawText, @function
kvDrawText:
	movl	$4, %eax
	ret
	.size	kvDrawText, .-kvDrawText
	.p2align 4
	.globl	kvFlip
	.type	kvFlip, @function
kvFlip:
	movl	$5, %eax
	ret
	.size	kvFlip, .-kvFlip
	.p2align 4
	.globl	kvReadKeys
	.type	kvReadKeys, @function
kvReadKeys:
	movl	$6, %eax
	ret
	.size	kvReadKeys, .-kvReadKeys
	.p2align 4
	.globl	kvTimeMillis
	.type	kvTimeMillis, @function
kvTimeMillis:
	movl	$7, %eax
	ret
	.size	kvTimeMillis, .-kvTimeMillis
	.p2align 4
	.globl	kvYield
	.type	kvYield, @function
kvYield:
	movl	$8, %eax
	ret
	.size	kvYield, .-kvYield
	.p2align 4
	.globl	kvResourceCount
	.type	kvResourceCount, @function
kvResourceCount:
	movl	$9, %eax
	ret
	.size	kvResourceCount, .-kvResourceCount
	.p2align 4
	.globl	kvLoadResource
	.type	kvLoadResource, @function
kvLoadResource:
	movl	$10, %eax
	ret
	.size	kvLoadResource, .-kvLoadResource
	.section	.note.GNU-stack,"",@progbits
