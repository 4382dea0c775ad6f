// Built-in functions of the engine, in trap-number order.
// Generated from the engine's trap table: the order is the numbering,
// so never remove, insert or reorder a declaration.
#trap
int jump(char *path);
#trap
int call(char *path);
#trap
int exit();
#trap
int setjmp(int *buf);
#trap
int longjmp(int *buf, int value);
#trap
int thd_begin(void *func, int arg, int suspended, int stack);
#trap
int thd_end(int thread);
#trap
int thd_suspend(int thread);
#trap
int thd_resume(int thread);
#trap
int sleep(int ms);
#trap
int ini_seti(char *section, char *key, int value);
#trap
int ini_sets(char *section, char *key, char *text);
#trap
int ini_geti(char *section, char *key, int def);
#trap
int ini_gets(char *section, char *key, char *def, char *buf, int size);
#trap
int menu_init();
#trap
int menu_add(int parent, int id, char *text, int group);
#trap
int menu_del(int id);
#trap
int menu_build();
#trap
int menu_enable(int id, int on);
#trap
int menu_check(int id, int on);
#trap
int menu_radio(int id);
#trap
int menu_draw();
#trap
int menu_get();
#trap
int pal_map(int *pal);
#trap
int pal_load(int plane, int dst, int first, int count);
#trap
int pal_set(int index, int color);
#trap
int pal_get(int index);
#trap
int pal_sets(int first, int count, int *src);
#trap
int pal_gets(int first, int count, int *dst);
#trap
int pal_change();
#trap
int getpixel(int plane, int x, int y);
#trap
int rgbtohsv(int rgb);
#trap
int hsvtorgb(int hsv);
#trap
int gclip(int plane, int *rect);
#trap
int ginit();
#trap
int galloc(int plane, int width, int height, int depth);
#trap
int gfree(int plane);
#trap
int gload(int plane, char *file);
#trap
int gsave(char *file, int plane, int *rect);
#trap
int gcopy(int dst, int dx, int dy, int src, int *rect, void *blend);
#trap
int gblit(int dst, int *drect, int src, int *srect, void *blend, int angle);
#trap
int gfill(int plane, int *rect, int color);
#trap
int gline(int plane, int x1, int y1, int x2, int y2, int color);
#trap
int gpoly(int plane, int *points, int count, int color);
#trap
int gattach(int plane, int mask);
#trap
int gdetach(int plane);
#trap
int ggetpal(int plane, int first, int count, int *dst);
#trap
int gsetpal(int plane, int first, int count, int *src);
#trap
int ginfo(int plane, int *info);
#trap
int dload(int plane, int x, int y, char *file, int *rect);
#trap
int dcopy(int plane, int x, int y, void *image, int *rect);
#trap
void *p3d_tex(int plane);
#trap
int p3d_init(int plane, float focal, float znear, float param);
#trap
int p3d_uninit();
#trap
void *p3d_load(char *file);
#trap
int p3d_free(void *model);
#trap
int p3d_clear();
#trap
int p3d_view(float *pos, float *orient);
#trap
int p3d_env(float r, float g, float b);
#trap
int p3d_light(void *light, float a, float b, float c);
#trap
int p3d_material(void *model, int num, void *material);
#trap
int p3d_setobj(void *model, float *pos, float *rot);
#trap
int p3d_render();
#trap
int sp_flag(int flags);
#trap
int sp_init(int mask);
#trap
int sp_setbg(int plane);
#trap
int sp_getbg();
#trap
int sp_redraw(int mask);
#trap
void *sp_set(int list, int state, int x, int y, int plane, int *rect, void *blend);
#trap
int sp_reset(void *sprite);
#trap
int sp_link(void *parent, void *child);
#trap
int sp_draw(int mask, int *rect);
#trap
int sp_bgorg(int x, int y);
#trap
int sp_org(int mask, int x, int y);
#trap
int sp_sort(int mask, int how);
#trap
int sp_rect(void *sprite, int *rect);
#trap
int hit_init(int mask);
#trap
void *hit_set(int group, int mask, void *sprite, int *rect, int value);
#trap
int hit_reset(void *hit);
#trap
void *hit_check(void *hit);
#trap
void *hit_rect(int *rect, int mask);
#trap
void *hit_point(int x, int y, int mask);
#trap
int setorg(int x, int y);
#trap
int vpage(int plane);
#trap
int apage(int plane);
#trap
int update(int *rect);
#trap
int font_list(char *buf, int max);
#trap
int font_use(int slot);
#trap
int font_set(int slot, void *font);
#trap
int font_get(int slot, void *font);
#trap
int gtext(int plane, int x, int y, int attr, char *text);
#trap
int gtextf(int plane, int x, int y, int attr, char *format);
#trap
int drt_init();
#trap
int drt_set(int *rect);
#trap
int drt_copy(int dst, int x, int y, int src, int *rect);
#trap
int midi_load(char *file);
#trap
int midi_free();
#trap
int midi_play(int unused);
#trap
int midi_stop(int unused);
#trap
int midi_pause();
#trap
int midi_replay();
#trap
int midi_setvol(int vol);
#trap
int midi_getvol();
#trap
int midi_isplay();
#trap
int midi_getpos();
#trap
int midi_repeat(int flag);
#trap
int snd_load(int ch, char *file);
#trap
int snd_loads(int ch, char *file);
#trap
int snd_free(int ch);
#trap
int snd_play(int ch, int loop);
#trap
int snd_stop(int ch);
#trap
int snd_pause(int ch);
#trap
int snd_replay(int ch);
#trap
int snd_setvol(int ch, int vol);
#trap
int snd_getvol(int ch);
#trap
int snd_setpan(int ch, int pan);
#trap
int snd_getpan(int ch);
#trap
int snd_isplay(int ch);
#trap
int snd_setloop(int ch, int ms);
#trap
int snd_setpos(int ch, int ms);
#trap
int snd_getpos(int ch);
#trap
int snd_getlen(int ch);
#trap
int snd_gettext(int ch, char *buf);
#trap
int snd_setmargin(int ms);
#trap
int snd_setchorus(int ch, void *params);
#trap
int snd_setcompressor(int ch, void *params);
#trap
int snd_setdistortion(int ch, void *params);
#trap
int snd_setecho(int ch, void *params);
#trap
int snd_setflanger(int ch, void *params);
#trap
int snd_setgargle(int ch, void *params);
#trap
int snd_setparameq(int ch, void *params);
#trap
int snd_setreverb(int ch, void *params);
#trap
int cd_play(int track, int fade);
#trap
int cd_stop(int fade);
#trap
int cd_pause();
#trap
int cd_replay();
#trap
int cd_setvol(int vol);
#trap
int cd_getvol();
#trap
int cd_isplay();
#trap
int cd_getpos(int mode);
#trap
int cd_getlen(int track);
#trap
int cd_repeat(int mode);
#trap
int cd_eject();
#trap
int media_open(char *file);
#trap
int media_close();
#trap
int media_play();
#trap
int media_stop();
#trap
int media_pause();
#trap
int media_replay();
#trap
int media_isplay();
#trap
int media_repeat(int flag);
#trap
int media_size(int *rect);
#trap
int media_setvol(int vol);
#trap
int getkey(char *keys);
#trap
int getjoy(int num, int *joy);
#trap
int getmouse(int *mouse);
#trap
int getpoint(int *point);
#trap
int cur_set(int cursor);
#trap
int cur_clip(int *rect);
#trap
int cur_setpos(int x, int y);
#trap
int getcount(int counter);
#trap
int setcount(int counter, int value);
#trap
int gettime(void *time);
#trap
int fps();
#trap
void *nfa_compile(char *pattern);
#trap
int nfa_free(void *nfa);
#trap
int rex_match(void *nfa, char *subject, int *result, int nocase);
#trap
int rex_free(void *match);
#trap
int pack_save(char *path, void *data, int size);
#trap
int pack_open(char *path);
#trap
int pack_close(int handle);
#trap
int pack_read(int handle, void *buf, int size);
#trap
int pack_seek(int handle, int offset, int origin);
#trap
int pack_size(int handle);
#trap
void *fopen(char *path, char *mode);
#trap
int fclose(void *stream);
#trap
int fread(void *buf, int size, int count, void *stream);
#trap
int fwrite(void *buf, int size, int count, void *stream);
#trap
int fseek(void *stream, int offset, int origin);
#trap
int ftell(void *stream);
#trap
char *fgets(char *buf, int size, void *stream);
#trap
int fputs(char *s, void *stream);
#trap
int sysfile(char *path, void *buf, int size);
#trap
int sysio(int mode);
#trap
void *mload(char *path, int offset, int size);
#trap
void *malloc(int size);
#trap
int free(void *ptr);
#trap
int memcpy(void *dst, void *src, int n);
#trap
int memmove(void *dst, void *src, int n);
#trap
int memset(void *dst, int c, int n);
#trap
int memcmp(void *a, void *b, int n);
#trap
int memswap(void *a, void *b, int n);
#trap
int srand(int seed);
#trap
int rand();
#trap
int abs(int n);
#trap
int sgn(int n);
#trap
int tsin(int angle);
#trap
int tcos(int angle);
#trap
int tatan(int x, int y);
#trap
float random(int unused);
#trap
float fabs(float x);
#trap
float sqrt(float x);
#trap
float pow(float x, float y);
#trap
float log(float x);
#trap
float exp(float x);
#trap
float floor(float x);
#trap
float ceil(float x);
#trap
float sin(float x);
#trap
float cos(float x);
#trap
float tan(float x);
#trap
float asin(float x);
#trap
float acos(float x);
#trap
float atan(float x);
#trap
int ftoa(char *buf, float value);
#trap
float bezier(float p0, float p1, float p2, float t);
#trap
float neville(float p0, float p1, float p2, float t);
#trap
float linear(float a, float b, float t);
#trap
int kf_setkey(float *key, float time, float value);
#trap
int kf_calc(float *track, int count);
#trap
int kf_getindex(float *track, int count, float t);
#trap
float kf_getkey(float *track, int count, float t, int mode);
#trap
int find_first(char *pattern, void *data);
#trap
int find_next(int handle, void *data);
#trap
int find_close(int handle);
#trap
int rc_empty(int *r);
#trap
int rc_set(int *r, int left, int top, int right, int bottom);
#trap
int rc_setwh(int *r, int x, int y, int w, int h);
#trap
int rc_copy(int *dst, int *src);
#trap
int rc_move(int *r, int dx, int dy);
#trap
int rc_intersect(int *dst, int *a, int *b);
#trap
int rc_union(int *dst, int *a, int *b);
#trap
int rc_inflate(int *r, int dx, int dy);
#trap
int rc_in(int *r, int x, int y);
#trap
int rc_check(int *r);
#trap
int mbslen(char *s);
#trap
char *mbscpy(char *dst, char *src);
#trap
char *mbscat(char *dst, char *src);
#trap
int mbscmp(char *a, char *b);
#trap
int mbscmpi(char *a, char *b);
#trap
char *mbslwr(char *s);
#trap
char *mbsupr(char *s);
#trap
char *mbscut(char *dst, char *src, int start, int count);
#trap
char *mbschr(char *s, int c);
#trap
int strlen(char *s);
#trap
char *strcpy(char *dst, char *src);
#trap
char *strcat(char *dst, char *src);
#trap
int strcmp(char *a, char *b);
#trap
int strcmpi(char *a, char *b);
#trap
int strlwr(char *s);
#trap
int strupr(char *s);
#trap
char *strcut(char *dst, char *src, int start, int count);
#trap
char *strchr(char *s, int c);
#trap
int sprintf(char *buf, char *format);
#trap
int atoi(char *s);
#trap
int dir_getpath(int folder, char *buf);
#trap
int dir_getcur(char *buf);
#trap
int dir_setcur(char *path);
#trap
int dir_create(char *path);
#trap
int dir_delete(char *path);
#trap
int file_copy(char *src, char *dst, int failexists);
#trap
int file_move(char *src, char *dst);
#trap
int file_delete(char *path);
#trap
int file_size(char *path);
#trap
int file_check(char *path);
#trap
int file_getattr(char *path);
#trap
int file_setattr(char *path, int attr);
#trap
int file_gettime(char *path, void *created, void *accessed, void *written);
#trap
int file_settime(char *path, void *created, void *accessed, void *written);
#trap
int wallpaper(char *path, int style);
#trap
int shell(char *verb, char *file, char *params);
#trap
int exec(char *cmdline);
#trap
int getsystem(char *name);
#trap
int setsystem(char *name, int value);
#trap
int mbox(int style, char *title, char *text);
#trap
int caption(char *text);
#trap
int setrgn(int plane, int index);
#trap
int setdrag(int plane, int index);
#trap
int freemap(int dst, int *quad, int src, int *rect, int key);
#trap
int smooth(int dst, int *drect, int src, int *srect, int key);
#trap
int rotate(int dst, int *drect, int src, int *srect, int angle, int key);
#trap
int tiled(int dst, int *drect, int src, int *srect, int angle, int zoom);
#trap
int scroll(int plane, int *rect, int dx, int dy);
#trap
int noise(int plane, int *rect, int amount);
#trap
int slice(int plane, int *rect, int amount);
#trap
int gradation(int dst, int x, int y, int src, int *rect);
#trap
int mosaic(int dst, int x, int y, int src, int *rect, int bw, int bh);
#trap
int monotone(int plane, int *rect, int dark, int light);
#trap
int blur(int dst, int x, int y, int src, int *rect, int amount);
#trap
int fire(int plane, int *rect);
#trap
int ef_init(int slot, int dst, int *drect, int src, int *srect);
#trap
int ef_free(int slot);
#trap
int ef_rotate(int slot, int cx, int cy, int zoom, int angle);
#trap
int ef_tunnel(int slot, int param1, int param2);
#trap
int ef_land(int slot, int height, int pitch, int yaw);
#trap
int ef_ball(int slot, int scale, int angle_b, int angle_c);
#trap
int ef_whirl(int slot, int twist);
#trap
int ef_raster(int slot, int phase, int period, int amp);
#trap
int ef_blob(int slot, int x, int y, int radius, int strength);
#trap
int ef_water(int slot);
#trap
int key_init();
#trap
int key_get();
#trap
int net_open(char *host, int port);
#trap
int net_close();
#trap
int net_send(int slot, void *data, int len);
#trap
int net_recv(int slot, void *buf, int len);
#trap
int net_state();
#trap
unsigned crc16(void *buf, int len);
#trap
unsigned crc32(void *buf, int len);
#trap
int dll_load(char *file);
#trap
int dll_unload(int lib);
#trap
void *dll_proc(int lib, char *name);
#trap
int dll_call(void *func);
#trap
int log_clear();
#trap
int log_out(char *format);
