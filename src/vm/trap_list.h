// The built-ins of the engine in trap-number order: number, name, number of
// argument words (-1: variable), result on failure, and the declaration that
// scripts see. Trap numbers are the interface with compiled scripts: never reorder.
#pragma once

// Declarations use only int, unsigned, float, char *, void *, int * and float *.
// A float travels as its single-precision bit pattern in one word. Handles that
// are record addresses (sprites, hit areas, models, automata, match results,
// streams, heap blocks, DLL procedures) are declared void *; slot-number
// handles (planes, threads, pack files, DLL slots, channels) are int.
//
// The variable-argument built-ins (gtextf, sprintf, dll_call, log_out) declare
// only their fixed leading parameters: the script compiler accepts any number
// of arguments in a call and neither checks nor converts them against the
// declared parameters, so the extra words are simply pushed after these.
//
// Argument counts that differ from what the built-in itself reads:
// - random: the generator's float draw takes no argument, yet its trap entry
//   counts one argument word (the count the debug check enforces); it is
//   declared with one unused parameter to match.
//
// Types chosen where the family leaves them implicit:
// - p3d_init: focal length and near distance are taken as floats like the
//   third parameter (the renderer does its geometry in floating point).
// - bezier, neville, linear: float control values and parameter t, float result.
// - nfa_compile: its handle is treated as a record address (void *).
//
// Failure values that are not certain:
// - sp_set never fails with 0: it returns the address of a dummy sprite record,
//   which no constant can express; 0 is only what an unbound stub returns.
// - fclose, fseek: only success (0) is fixed; -1 stands for the platform's
//   nonzero error result. fputs: only "non-negative on success" is fixed; -1
//   stands for the platform's end-of-file result.
// - midi_pause returns 0 also when it has paused playing music, so its 0 does
//   not mean failure alone.
// - pal_map, sp_redraw, cd_pause, cd_replay, media_replay, nfa_free, rex_free:
//   the result is not given beyond the effect; 0 is assumed for failure.
// - rc_check with a null rectangle is not defined; 0 is assumed.
// - strlwr and strupr return 0 even on success (unlike mbslwr and mbsupr,
//   which return their argument); there is no failure case.

// TOB_TRAP(number, name, argc, fail, declaration)
#define TOB_TRAP_LIST(TOB_TRAP)                                                                    \
    TOB_TRAP(0, jump, 1, 0, "int jump(char *path);")                                               \
    TOB_TRAP(1, call, 1, 0, "int call(char *path);")                                               \
    TOB_TRAP(2, exit, 0, 0, "int exit();")                                                         \
    TOB_TRAP(3, setjmp, 1, 0, "int setjmp(int *buf);")                                             \
    TOB_TRAP(4, longjmp, 2, 0, "int longjmp(int *buf, int value);")                                \
    TOB_TRAP(5, thd_begin, 4, -1, "int thd_begin(void *func, int arg, int suspended, int stack);") \
    TOB_TRAP(6, thd_end, 1, 0, "int thd_end(int thread);")                                         \
    TOB_TRAP(7, thd_suspend, 1, -1, "int thd_suspend(int thread);")                                \
    TOB_TRAP(8, thd_resume, 1, -1, "int thd_resume(int thread);")                                  \
    TOB_TRAP(9, sleep, 1, 0, "int sleep(int ms);")                                                 \
    TOB_TRAP(10, ini_seti, 3, 0, "int ini_seti(char *section, char *key, int value);")             \
    TOB_TRAP(11, ini_sets, 3, 0, "int ini_sets(char *section, char *key, char *text);")            \
    TOB_TRAP(12, ini_geti, 3, 0, "int ini_geti(char *section, char *key, int def);")               \
    TOB_TRAP(13, ini_gets, 5, 0,                                                                   \
             "int ini_gets(char *section, char *key, char *def, char *buf, int size);")            \
    TOB_TRAP(14, menu_init, 0, 0, "int menu_init();")                                              \
    TOB_TRAP(15, menu_add, 4, 0, "int menu_add(int parent, int id, char *text, int group);")       \
    TOB_TRAP(16, menu_del, 1, 0, "int menu_del(int id);")                                          \
    TOB_TRAP(17, menu_build, 0, 0, "int menu_build();")                                            \
    TOB_TRAP(18, menu_enable, 2, 0, "int menu_enable(int id, int on);")                            \
    TOB_TRAP(19, menu_check, 2, 0, "int menu_check(int id, int on);")                              \
    TOB_TRAP(20, menu_radio, 1, 0, "int menu_radio(int id);")                                      \
    TOB_TRAP(21, menu_draw, 0, 0, "int menu_draw();")                                              \
    TOB_TRAP(22, menu_get, 0, 0, "int menu_get();")                                                \
    TOB_TRAP(23, pal_map, 1, 0, "int pal_map(int *pal);")                                          \
    TOB_TRAP(24, pal_load, 4, 0, "int pal_load(int plane, int dst, int first, int count);")        \
    TOB_TRAP(25, pal_set, 2, 0, "int pal_set(int index, int color);")                              \
    TOB_TRAP(26, pal_get, 1, 0, "int pal_get(int index);")                                         \
    TOB_TRAP(27, pal_sets, 3, 0, "int pal_sets(int first, int count, int *src);")                  \
    TOB_TRAP(28, pal_gets, 3, 0, "int pal_gets(int first, int count, int *dst);")                  \
    TOB_TRAP(29, pal_change, 0, 0, "int pal_change();")                                            \
    TOB_TRAP(30, getpixel, 3, 0, "int getpixel(int plane, int x, int y);")                         \
    TOB_TRAP(31, rgbtohsv, 1, 0, "int rgbtohsv(int rgb);")                                         \
    TOB_TRAP(32, hsvtorgb, 1, 0, "int hsvtorgb(int hsv);")                                         \
    TOB_TRAP(33, gclip, 2, 0, "int gclip(int plane, int *rect);")                                  \
    TOB_TRAP(34, ginit, 0, 0, "int ginit();")                                                      \
    TOB_TRAP(35, galloc, 4, 0, "int galloc(int plane, int width, int height, int depth);")         \
    TOB_TRAP(36, gfree, 1, 0, "int gfree(int plane);")                                             \
    TOB_TRAP(37, gload, 2, 0, "int gload(int plane, char *file);")                                 \
    TOB_TRAP(38, gsave, 3, 0, "int gsave(char *file, int plane, int *rect);")                      \
    TOB_TRAP(39, gcopy, 6, 0,                                                                      \
             "int gcopy(int dst, int dx, int dy, int src, int *rect, void *blend);")               \
    TOB_TRAP(40, gblit, 6, 0,                                                                      \
             "int gblit(int dst, int *drect, int src, int *srect, void *blend, int angle);")       \
    TOB_TRAP(41, gfill, 3, 0, "int gfill(int plane, int *rect, int color);")                       \
    TOB_TRAP(42, gline, 6, 0, "int gline(int plane, int x1, int y1, int x2, int y2, int color);")  \
    TOB_TRAP(43, gpoly, 4, 0, "int gpoly(int plane, int *points, int count, int color);")          \
    TOB_TRAP(44, gattach, 2, 0, "int gattach(int plane, int mask);")                               \
    TOB_TRAP(45, gdetach, 1, 0, "int gdetach(int plane);")                                         \
    TOB_TRAP(46, ggetpal, 4, 0, "int ggetpal(int plane, int first, int count, int *dst);")         \
    TOB_TRAP(47, gsetpal, 4, 0, "int gsetpal(int plane, int first, int count, int *src);")         \
    TOB_TRAP(48, ginfo, 2, 0, "int ginfo(int plane, int *info);")                                  \
    TOB_TRAP(49, dload, 5, 0, "int dload(int plane, int x, int y, char *file, int *rect);")        \
    TOB_TRAP(50, dcopy, 5, 0, "int dcopy(int plane, int x, int y, void *image, int *rect);")       \
    TOB_TRAP(51, p3d_tex, 1, 0, "void *p3d_tex(int plane);")                                       \
    TOB_TRAP(52, p3d_init, 4, 0,                                                                   \
             "int p3d_init(int plane, float focal, float znear, float param);")                    \
    TOB_TRAP(53, p3d_uninit, 0, 0, "int p3d_uninit();")                                            \
    TOB_TRAP(54, p3d_load, 1, 0, "void *p3d_load(char *file);")                                    \
    TOB_TRAP(55, p3d_free, 1, 0, "int p3d_free(void *model);")                                     \
    TOB_TRAP(56, p3d_clear, 0, 0, "int p3d_clear();")                                              \
    TOB_TRAP(57, p3d_view, 2, 0, "int p3d_view(float *pos, float *orient);")                       \
    TOB_TRAP(58, p3d_env, 3, 0, "int p3d_env(float r, float g, float b);")                         \
    TOB_TRAP(59, p3d_light, 4, 0, "int p3d_light(void *light, float a, float b, float c);")        \
    TOB_TRAP(60, p3d_material, 3, 0, "int p3d_material(void *model, int num, void *material);")    \
    TOB_TRAP(61, p3d_setobj, 3, 0, "int p3d_setobj(void *model, float *pos, float *rot);")         \
    TOB_TRAP(62, p3d_render, 0, 0, "int p3d_render();")                                            \
    TOB_TRAP(63, sp_flag, 1, 0, "int sp_flag(int flags);")                                         \
    TOB_TRAP(64, sp_init, 1, 0, "int sp_init(int mask);")                                          \
    TOB_TRAP(65, sp_setbg, 1, 0, "int sp_setbg(int plane);")                                       \
    TOB_TRAP(66, sp_getbg, 0, 0, "int sp_getbg();")                                                \
    TOB_TRAP(67, sp_redraw, 1, 0, "int sp_redraw(int mask);")                                      \
    TOB_TRAP(                                                                                      \
        68, sp_set, 7, 0,                                                                          \
        "void *sp_set(int list, int state, int x, int y, int plane, int *rect, void *blend);")     \
    TOB_TRAP(69, sp_reset, 1, 0, "int sp_reset(void *sprite);")                                    \
    TOB_TRAP(70, sp_link, 2, 0, "int sp_link(void *parent, void *child);")                         \
    TOB_TRAP(71, sp_draw, 2, 0, "int sp_draw(int mask, int *rect);")                               \
    TOB_TRAP(72, sp_bgorg, 2, 0, "int sp_bgorg(int x, int y);")                                    \
    TOB_TRAP(73, sp_org, 3, 0, "int sp_org(int mask, int x, int y);")                              \
    TOB_TRAP(74, sp_sort, 2, 0, "int sp_sort(int mask, int how);")                                 \
    TOB_TRAP(75, sp_rect, 2, 0, "int sp_rect(void *sprite, int *rect);")                           \
    TOB_TRAP(76, hit_init, 1, 0, "int hit_init(int mask);")                                        \
    TOB_TRAP(77, hit_set, 5, 0,                                                                    \
             "void *hit_set(int group, int mask, void *sprite, int *rect, int value);")            \
    TOB_TRAP(78, hit_reset, 1, 0, "int hit_reset(void *hit);")                                     \
    TOB_TRAP(79, hit_check, 1, 0, "void *hit_check(void *hit);")                                   \
    TOB_TRAP(80, hit_rect, 2, 0, "void *hit_rect(int *rect, int mask);")                           \
    TOB_TRAP(81, hit_point, 3, 0, "void *hit_point(int x, int y, int mask);")                      \
    TOB_TRAP(82, setorg, 2, 0, "int setorg(int x, int y);")                                        \
    TOB_TRAP(83, vpage, 1, 0, "int vpage(int plane);")                                             \
    TOB_TRAP(84, apage, 1, 0, "int apage(int plane);")                                             \
    TOB_TRAP(85, update, 1, 0, "int update(int *rect);")                                           \
    TOB_TRAP(86, font_list, 2, 0, "int font_list(char *buf, int max);")                            \
    TOB_TRAP(87, font_use, 1, 0, "int font_use(int slot);")                                        \
    TOB_TRAP(88, font_set, 2, 0, "int font_set(int slot, void *font);")                            \
    TOB_TRAP(89, font_get, 2, 0, "int font_get(int slot, void *font);")                            \
    TOB_TRAP(90, gtext, 5, 0, "int gtext(int plane, int x, int y, int attr, char *text);")         \
    TOB_TRAP(91, gtextf, -1, 0, "int gtextf(int plane, int x, int y, int attr, char *format);")    \
    TOB_TRAP(92, drt_init, 0, 0, "int drt_init();")                                                \
    TOB_TRAP(93, drt_set, 1, 0, "int drt_set(int *rect);")                                         \
    TOB_TRAP(94, drt_copy, 5, 0, "int drt_copy(int dst, int x, int y, int src, int *rect);")       \
    TOB_TRAP(95, midi_load, 1, 0, "int midi_load(char *file);")                                    \
    TOB_TRAP(96, midi_free, 0, 0, "int midi_free();")                                              \
    TOB_TRAP(97, midi_play, 1, 0, "int midi_play(int unused);")                                    \
    TOB_TRAP(98, midi_stop, 1, 0, "int midi_stop(int unused);")                                    \
    TOB_TRAP(99, midi_pause, 0, 0, "int midi_pause();")                                            \
    TOB_TRAP(100, midi_replay, 0, 0, "int midi_replay();")                                         \
    TOB_TRAP(101, midi_setvol, 1, 0, "int midi_setvol(int vol);")                                  \
    TOB_TRAP(102, midi_getvol, 0, 0, "int midi_getvol();")                                         \
    TOB_TRAP(103, midi_isplay, 0, 0, "int midi_isplay();")                                         \
    TOB_TRAP(104, midi_getpos, 0, 0, "int midi_getpos();")                                         \
    TOB_TRAP(105, midi_repeat, 1, 0, "int midi_repeat(int flag);")                                 \
    TOB_TRAP(106, snd_load, 2, 0, "int snd_load(int ch, char *file);")                             \
    TOB_TRAP(107, snd_loads, 2, 0, "int snd_loads(int ch, char *file);")                           \
    TOB_TRAP(108, snd_free, 1, 0, "int snd_free(int ch);")                                         \
    TOB_TRAP(109, snd_play, 2, 0, "int snd_play(int ch, int loop);")                               \
    TOB_TRAP(110, snd_stop, 1, 0, "int snd_stop(int ch);")                                         \
    TOB_TRAP(111, snd_pause, 1, 0, "int snd_pause(int ch);")                                       \
    TOB_TRAP(112, snd_replay, 1, 0, "int snd_replay(int ch);")                                     \
    TOB_TRAP(113, snd_setvol, 2, 0, "int snd_setvol(int ch, int vol);")                            \
    TOB_TRAP(114, snd_getvol, 1, 0, "int snd_getvol(int ch);")                                     \
    TOB_TRAP(115, snd_setpan, 2, 0, "int snd_setpan(int ch, int pan);")                            \
    TOB_TRAP(116, snd_getpan, 1, 0, "int snd_getpan(int ch);")                                     \
    TOB_TRAP(117, snd_isplay, 1, 0, "int snd_isplay(int ch);")                                     \
    TOB_TRAP(118, snd_setloop, 2, 0, "int snd_setloop(int ch, int ms);")                           \
    TOB_TRAP(119, snd_setpos, 2, 0, "int snd_setpos(int ch, int ms);")                             \
    TOB_TRAP(120, snd_getpos, 1, 0, "int snd_getpos(int ch);")                                     \
    TOB_TRAP(121, snd_getlen, 1, 0, "int snd_getlen(int ch);")                                     \
    TOB_TRAP(122, snd_gettext, 2, 0, "int snd_gettext(int ch, char *buf);")                        \
    TOB_TRAP(123, snd_setmargin, 1, 0, "int snd_setmargin(int ms);")                               \
    TOB_TRAP(124, snd_setchorus, 2, 0, "int snd_setchorus(int ch, void *params);")                 \
    TOB_TRAP(125, snd_setcompressor, 2, 0, "int snd_setcompressor(int ch, void *params);")         \
    TOB_TRAP(126, snd_setdistortion, 2, 0, "int snd_setdistortion(int ch, void *params);")         \
    TOB_TRAP(127, snd_setecho, 2, 0, "int snd_setecho(int ch, void *params);")                     \
    TOB_TRAP(128, snd_setflanger, 2, 0, "int snd_setflanger(int ch, void *params);")               \
    TOB_TRAP(129, snd_setgargle, 2, 0, "int snd_setgargle(int ch, void *params);")                 \
    TOB_TRAP(130, snd_setparameq, 2, 0, "int snd_setparameq(int ch, void *params);")               \
    TOB_TRAP(131, snd_setreverb, 2, 0, "int snd_setreverb(int ch, void *params);")                 \
    TOB_TRAP(132, cd_play, 2, 0, "int cd_play(int track, int fade);")                              \
    TOB_TRAP(133, cd_stop, 1, 0, "int cd_stop(int fade);")                                         \
    TOB_TRAP(134, cd_pause, 0, 0, "int cd_pause();")                                               \
    TOB_TRAP(135, cd_replay, 0, 0, "int cd_replay();")                                             \
    TOB_TRAP(136, cd_setvol, 1, 0, "int cd_setvol(int vol);")                                      \
    TOB_TRAP(137, cd_getvol, 0, 0, "int cd_getvol();")                                             \
    TOB_TRAP(138, cd_isplay, 0, 0, "int cd_isplay();")                                             \
    TOB_TRAP(139, cd_getpos, 1, 0, "int cd_getpos(int mode);")                                     \
    TOB_TRAP(140, cd_getlen, 1, 0, "int cd_getlen(int track);")                                    \
    TOB_TRAP(141, cd_repeat, 1, 0, "int cd_repeat(int mode);")                                     \
    TOB_TRAP(142, cd_eject, 0, 0, "int cd_eject();")                                               \
    TOB_TRAP(143, media_open, 1, 0, "int media_open(char *file);")                                 \
    TOB_TRAP(144, media_close, 0, 0, "int media_close();")                                         \
    TOB_TRAP(145, media_play, 0, 0, "int media_play();")                                           \
    TOB_TRAP(146, media_stop, 0, 0, "int media_stop();")                                           \
    TOB_TRAP(147, media_pause, 0, 0, "int media_pause();")                                         \
    TOB_TRAP(148, media_replay, 0, 0, "int media_replay();")                                       \
    TOB_TRAP(149, media_isplay, 0, 0, "int media_isplay();")                                       \
    TOB_TRAP(150, media_repeat, 1, 0, "int media_repeat(int flag);")                               \
    TOB_TRAP(151, media_size, 1, 0, "int media_size(int *rect);")                                  \
    TOB_TRAP(152, media_setvol, 1, 0, "int media_setvol(int vol);")                                \
    TOB_TRAP(153, getkey, 1, 0, "int getkey(char *keys);")                                         \
    TOB_TRAP(154, getjoy, 2, 0, "int getjoy(int num, int *joy);")                                  \
    TOB_TRAP(155, getmouse, 1, 0, "int getmouse(int *mouse);")                                     \
    TOB_TRAP(156, getpoint, 1, 0, "int getpoint(int *point);")                                     \
    TOB_TRAP(157, cur_set, 1, 0, "int cur_set(int cursor);")                                       \
    TOB_TRAP(158, cur_clip, 1, 0, "int cur_clip(int *rect);")                                      \
    TOB_TRAP(159, cur_setpos, 2, 0, "int cur_setpos(int x, int y);")                               \
    TOB_TRAP(160, getcount, 1, 0, "int getcount(int counter);")                                    \
    TOB_TRAP(161, setcount, 2, 0, "int setcount(int counter, int value);")                         \
    TOB_TRAP(162, gettime, 1, 0, "int gettime(void *time);")                                       \
    TOB_TRAP(163, fps, 0, 0, "int fps();")                                                         \
    TOB_TRAP(164, nfa_compile, 1, 0, "void *nfa_compile(char *pattern);")                          \
    TOB_TRAP(165, nfa_free, 1, 0, "int nfa_free(void *nfa);")                                      \
    TOB_TRAP(166, rex_match, 4, 0,                                                                 \
             "int rex_match(void *nfa, char *subject, int *result, int nocase);")                  \
    TOB_TRAP(167, rex_free, 1, 0, "int rex_free(void *match);")                                    \
    TOB_TRAP(168, pack_save, 3, 0, "int pack_save(char *path, void *data, int size);")             \
    TOB_TRAP(169, pack_open, 1, 0, "int pack_open(char *path);")                                   \
    TOB_TRAP(170, pack_close, 1, 0, "int pack_close(int handle);")                                 \
    TOB_TRAP(171, pack_read, 3, -1, "int pack_read(int handle, void *buf, int size);")             \
    TOB_TRAP(172, pack_seek, 3, -1, "int pack_seek(int handle, int offset, int origin);")          \
    TOB_TRAP(173, pack_size, 1, -1, "int pack_size(int handle);")                                  \
    TOB_TRAP(174, fopen, 2, 0, "void *fopen(char *path, char *mode);")                             \
    TOB_TRAP(175, fclose, 1, -1, "int fclose(void *stream);")                                      \
    TOB_TRAP(176, fread, 4, 0, "int fread(void *buf, int size, int count, void *stream);")         \
    TOB_TRAP(177, fwrite, 4, 0, "int fwrite(void *buf, int size, int count, void *stream);")       \
    TOB_TRAP(178, fseek, 3, -1, "int fseek(void *stream, int offset, int origin);")                \
    TOB_TRAP(179, ftell, 1, -1, "int ftell(void *stream);")                                        \
    TOB_TRAP(180, fgets, 3, 0, "char *fgets(char *buf, int size, void *stream);")                  \
    TOB_TRAP(181, fputs, 2, -1, "int fputs(char *s, void *stream);")                               \
    TOB_TRAP(182, sysfile, 3, 0, "int sysfile(char *path, void *buf, int size);")                  \
    TOB_TRAP(183, sysio, 1, 0, "int sysio(int mode);")                                             \
    TOB_TRAP(184, mload, 3, 0, "void *mload(char *path, int offset, int size);")                   \
    TOB_TRAP(185, malloc, 1, 0, "void *malloc(int size);")                                         \
    TOB_TRAP(186, free, 1, 0, "int free(void *ptr);")                                              \
    TOB_TRAP(187, memcpy, 3, 0, "int memcpy(void *dst, void *src, int n);")                        \
    TOB_TRAP(188, memmove, 3, 0, "int memmove(void *dst, void *src, int n);")                      \
    TOB_TRAP(189, memset, 3, 0, "int memset(void *dst, int c, int n);")                            \
    TOB_TRAP(190, memcmp, 3, 0, "int memcmp(void *a, void *b, int n);")                            \
    TOB_TRAP(191, memswap, 3, 0, "int memswap(void *a, void *b, int n);")                          \
    TOB_TRAP(192, srand, 1, 0, "int srand(int seed);")                                             \
    TOB_TRAP(193, rand, 0, 0, "int rand();")                                                       \
    TOB_TRAP(194, abs, 1, 0, "int abs(int n);")                                                    \
    TOB_TRAP(195, sgn, 1, 0, "int sgn(int n);")                                                    \
    TOB_TRAP(196, tsin, 1, 0, "int tsin(int angle);")                                              \
    TOB_TRAP(197, tcos, 1, 0, "int tcos(int angle);")                                              \
    TOB_TRAP(198, tatan, 2, 0, "int tatan(int x, int y);")                                         \
    TOB_TRAP(199, random, 1, 0, "float random(int unused);")                                       \
    TOB_TRAP(200, fabs, 1, 0, "float fabs(float x);")                                              \
    TOB_TRAP(201, sqrt, 1, 0, "float sqrt(float x);")                                              \
    TOB_TRAP(202, pow, 2, 0, "float pow(float x, float y);")                                       \
    TOB_TRAP(203, log, 1, 0, "float log(float x);")                                                \
    TOB_TRAP(204, exp, 1, 0, "float exp(float x);")                                                \
    TOB_TRAP(205, floor, 1, 0, "float floor(float x);")                                            \
    TOB_TRAP(206, ceil, 1, 0, "float ceil(float x);")                                              \
    TOB_TRAP(207, sin, 1, 0, "float sin(float x);")                                                \
    TOB_TRAP(208, cos, 1, 0, "float cos(float x);")                                                \
    TOB_TRAP(209, tan, 1, 0, "float tan(float x);")                                                \
    TOB_TRAP(210, asin, 1, 0, "float asin(float x);")                                              \
    TOB_TRAP(211, acos, 1, 0, "float acos(float x);")                                              \
    TOB_TRAP(212, atan, 1, 0, "float atan(float x);")                                              \
    TOB_TRAP(213, ftoa, 2, 0, "int ftoa(char *buf, float value);")                                 \
    TOB_TRAP(214, bezier, 4, 0, "float bezier(float p0, float p1, float p2, float t);")            \
    TOB_TRAP(215, neville, 4, 0, "float neville(float p0, float p1, float p2, float t);")          \
    TOB_TRAP(216, linear, 3, 0, "float linear(float a, float b, float t);")                        \
    TOB_TRAP(217, kf_setkey, 3, 0, "int kf_setkey(float *key, float time, float value);")          \
    TOB_TRAP(218, kf_calc, 2, 0, "int kf_calc(float *track, int count);")                          \
    TOB_TRAP(219, kf_getindex, 3, -1, "int kf_getindex(float *track, int count, float t);")        \
    TOB_TRAP(220, kf_getkey, 4, 0, "float kf_getkey(float *track, int count, float t, int mode);") \
    TOB_TRAP(221, find_first, 2, -1, "int find_first(char *pattern, void *data);")                 \
    TOB_TRAP(222, find_next, 2, 0, "int find_next(int handle, void *data);")                       \
    TOB_TRAP(223, find_close, 1, 0, "int find_close(int handle);")                                 \
    TOB_TRAP(224, rc_empty, 1, 0, "int rc_empty(int *r);")                                         \
    TOB_TRAP(225, rc_set, 5, 0, "int rc_set(int *r, int left, int top, int right, int bottom);")   \
    TOB_TRAP(226, rc_setwh, 5, 0, "int rc_setwh(int *r, int x, int y, int w, int h);")             \
    TOB_TRAP(227, rc_copy, 2, 0, "int rc_copy(int *dst, int *src);")                               \
    TOB_TRAP(228, rc_move, 3, 0, "int rc_move(int *r, int dx, int dy);")                           \
    TOB_TRAP(229, rc_intersect, 3, 0, "int rc_intersect(int *dst, int *a, int *b);")               \
    TOB_TRAP(230, rc_union, 3, 0, "int rc_union(int *dst, int *a, int *b);")                       \
    TOB_TRAP(231, rc_inflate, 3, 0, "int rc_inflate(int *r, int dx, int dy);")                     \
    TOB_TRAP(232, rc_in, 3, 0, "int rc_in(int *r, int x, int y);")                                 \
    TOB_TRAP(233, rc_check, 1, 0, "int rc_check(int *r);")                                         \
    TOB_TRAP(234, mbslen, 1, 0, "int mbslen(char *s);")                                            \
    TOB_TRAP(235, mbscpy, 2, 0, "char *mbscpy(char *dst, char *src);")                             \
    TOB_TRAP(236, mbscat, 2, 0, "char *mbscat(char *dst, char *src);")                             \
    TOB_TRAP(237, mbscmp, 2, 0, "int mbscmp(char *a, char *b);")                                   \
    TOB_TRAP(238, mbscmpi, 2, 0, "int mbscmpi(char *a, char *b);")                                 \
    TOB_TRAP(239, mbslwr, 1, 0, "char *mbslwr(char *s);")                                          \
    TOB_TRAP(240, mbsupr, 1, 0, "char *mbsupr(char *s);")                                          \
    TOB_TRAP(241, mbscut, 4, 0, "char *mbscut(char *dst, char *src, int start, int count);")       \
    TOB_TRAP(242, mbschr, 2, 0, "char *mbschr(char *s, int c);")                                   \
    TOB_TRAP(243, strlen, 1, 0, "int strlen(char *s);")                                            \
    TOB_TRAP(244, strcpy, 2, 0, "char *strcpy(char *dst, char *src);")                             \
    TOB_TRAP(245, strcat, 2, 0, "char *strcat(char *dst, char *src);")                             \
    TOB_TRAP(246, strcmp, 2, 0, "int strcmp(char *a, char *b);")                                   \
    TOB_TRAP(247, strcmpi, 2, 0, "int strcmpi(char *a, char *b);")                                 \
    TOB_TRAP(248, strlwr, 1, 0, "int strlwr(char *s);")                                            \
    TOB_TRAP(249, strupr, 1, 0, "int strupr(char *s);")                                            \
    TOB_TRAP(250, strcut, 4, 0, "char *strcut(char *dst, char *src, int start, int count);")       \
    TOB_TRAP(251, strchr, 2, 0, "char *strchr(char *s, int c);")                                   \
    TOB_TRAP(252, sprintf, -1, 0, "int sprintf(char *buf, char *format);")                         \
    TOB_TRAP(253, atoi, 1, 0, "int atoi(char *s);")                                                \
    TOB_TRAP(254, dir_getpath, 2, 0, "int dir_getpath(int folder, char *buf);")                    \
    TOB_TRAP(255, dir_getcur, 1, 0, "int dir_getcur(char *buf);")                                  \
    TOB_TRAP(256, dir_setcur, 1, 0, "int dir_setcur(char *path);")                                 \
    TOB_TRAP(257, dir_create, 1, 0, "int dir_create(char *path);")                                 \
    TOB_TRAP(258, dir_delete, 1, 0, "int dir_delete(char *path);")                                 \
    TOB_TRAP(259, file_copy, 3, 0, "int file_copy(char *src, char *dst, int failexists);")         \
    TOB_TRAP(260, file_move, 2, 0, "int file_move(char *src, char *dst);")                         \
    TOB_TRAP(261, file_delete, 1, 0, "int file_delete(char *path);")                               \
    TOB_TRAP(262, file_size, 1, 0, "int file_size(char *path);")                                   \
    TOB_TRAP(263, file_check, 1, 0, "int file_check(char *path);")                                 \
    TOB_TRAP(264, file_getattr, 1, -1, "int file_getattr(char *path);")                            \
    TOB_TRAP(265, file_setattr, 2, 0, "int file_setattr(char *path, int attr);")                   \
    TOB_TRAP(266, file_gettime, 4, 0,                                                              \
             "int file_gettime(char *path, void *created, void *accessed, void *written);")        \
    TOB_TRAP(267, file_settime, 4, 0,                                                              \
             "int file_settime(char *path, void *created, void *accessed, void *written);")        \
    TOB_TRAP(268, wallpaper, 2, 0, "int wallpaper(char *path, int style);")                        \
    TOB_TRAP(269, shell, 3, 0, "int shell(char *verb, char *file, char *params);")                 \
    TOB_TRAP(270, exec, 1, 0, "int exec(char *cmdline);")                                          \
    TOB_TRAP(271, getsystem, 1, 0, "int getsystem(char *name);")                                   \
    TOB_TRAP(272, setsystem, 2, 0, "int setsystem(char *name, int value);")                        \
    TOB_TRAP(273, mbox, 3, 0, "int mbox(int style, char *title, char *text);")                     \
    TOB_TRAP(274, caption, 1, 0, "int caption(char *text);")                                       \
    TOB_TRAP(275, setrgn, 2, 0, "int setrgn(int plane, int index);")                               \
    TOB_TRAP(276, setdrag, 2, 0, "int setdrag(int plane, int index);")                             \
    TOB_TRAP(277, freemap, 5, 0, "int freemap(int dst, int *quad, int src, int *rect, int key);")  \
    TOB_TRAP(278, smooth, 5, 0, "int smooth(int dst, int *drect, int src, int *srect, int key);")  \
    TOB_TRAP(279, rotate, 6, 0,                                                                    \
             "int rotate(int dst, int *drect, int src, int *srect, int angle, int key);")          \
    TOB_TRAP(280, tiled, 6, 0,                                                                     \
             "int tiled(int dst, int *drect, int src, int *srect, int angle, int zoom);")          \
    TOB_TRAP(281, scroll, 4, 0, "int scroll(int plane, int *rect, int dx, int dy);")               \
    TOB_TRAP(282, noise, 3, 0, "int noise(int plane, int *rect, int amount);")                     \
    TOB_TRAP(283, slice, 3, 0, "int slice(int plane, int *rect, int amount);")                     \
    TOB_TRAP(284, gradation, 5, 0, "int gradation(int dst, int x, int y, int src, int *rect);")    \
    TOB_TRAP(285, mosaic, 7, 0,                                                                    \
             "int mosaic(int dst, int x, int y, int src, int *rect, int bw, int bh);")             \
    TOB_TRAP(286, monotone, 4, 0, "int monotone(int plane, int *rect, int dark, int light);")      \
    TOB_TRAP(287, blur, 6, 0, "int blur(int dst, int x, int y, int src, int *rect, int amount);")  \
    TOB_TRAP(288, fire, 2, 0, "int fire(int plane, int *rect);")                                   \
    TOB_TRAP(289, ef_init, 5, 0,                                                                   \
             "int ef_init(int slot, int dst, int *drect, int src, int *srect);")                   \
    TOB_TRAP(290, ef_free, 1, 0, "int ef_free(int slot);")                                         \
    TOB_TRAP(291, ef_rotate, 5, 0,                                                                 \
             "int ef_rotate(int slot, int cx, int cy, int zoom, int angle);")                      \
    TOB_TRAP(292, ef_tunnel, 3, 0, "int ef_tunnel(int slot, int param1, int param2);")             \
    TOB_TRAP(293, ef_land, 4, 0, "int ef_land(int slot, int height, int pitch, int yaw);")         \
    TOB_TRAP(294, ef_ball, 4, 0, "int ef_ball(int slot, int scale, int angle_b, int angle_c);")    \
    TOB_TRAP(295, ef_whirl, 2, 0, "int ef_whirl(int slot, int twist);")                            \
    TOB_TRAP(296, ef_raster, 4, 0, "int ef_raster(int slot, int phase, int period, int amp);")     \
    TOB_TRAP(297, ef_blob, 5, 0, "int ef_blob(int slot, int x, int y, int radius, int strength);") \
    TOB_TRAP(298, ef_water, 1, 0, "int ef_water(int slot);")                                       \
    TOB_TRAP(299, key_init, 0, 0, "int key_init();")                                               \
    TOB_TRAP(300, key_get, 0, 0, "int key_get();")                                                 \
    TOB_TRAP(301, net_open, 2, 0, "int net_open(char *host, int port);")                           \
    TOB_TRAP(302, net_close, 0, 0, "int net_close();")                                             \
    TOB_TRAP(303, net_send, 3, -1, "int net_send(int slot, void *data, int len);")                 \
    TOB_TRAP(304, net_recv, 3, -1, "int net_recv(int slot, void *buf, int len);")                  \
    TOB_TRAP(305, net_state, 0, 0, "int net_state();")                                             \
    TOB_TRAP(306, crc16, 2, 0, "unsigned crc16(void *buf, int len);")                              \
    TOB_TRAP(307, crc32, 2, 0, "unsigned crc32(void *buf, int len);")                              \
    TOB_TRAP(308, dll_load, 1, -1, "int dll_load(char *file);")                                    \
    TOB_TRAP(309, dll_unload, 1, 0, "int dll_unload(int lib);")                                    \
    TOB_TRAP(310, dll_proc, 2, 0, "void *dll_proc(int lib, char *name);")                          \
    TOB_TRAP(311, dll_call, -1, 0, "int dll_call(void *func);")                                    \
    TOB_TRAP(312, log_clear, 0, 0, "int log_clear();")                                             \
    TOB_TRAP(313, log_out, -1, 0, "int log_out(char *format);")
